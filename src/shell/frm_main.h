// The main window: composes the controls, the device link and one piece per concern.
#pragma once

#include <QWidget>
#include <memory>
#include <string>
#include <string_view>

#include "link/core/link_io.h"
#include "link/device_link.h"
#include "shell/command_line.h"
#include "shell/main_controls.h"
#include "shell/panel_state.h"

namespace quadrel {

class SerialLink;
class TextConsole;
class TcpLink;
class SerialControl;
class EthernetControl;
class ResetReboot;
class Modes;
class Routing;
class Resolution;
class Overlays;
class Picture;
class Bezel;
class Audio;
class Power;
class Refresh;
class LockMenu;
class Presets;
class KeypadControl;
class HdcpControl;
class LabelControl;
class PipControl;
class NetworkPanel;
class Startup;
class StatusLine;

// How the window is set up; tests give a temporary program folder and a
// notifier that records messages instead of showing modal boxes.
struct FrmMainOptions {
  QString program_folder;          // empty: the folder of the executable
  Notifier* notifier = nullptr;    // empty: real message boxes
  bool show = true;                // show the window at the end of loading
  RunLink run_link;                // the command line's link for this run, if any
};

class FrmMain : public QWidget {
  Q_OBJECT
 public:
  explicit FrmMain(const FrmMainOptions& options = {}, QWidget* parent = nullptr);
  ~FrmMain() override;

  MainControls& controls() { return c_; }
  PanelState& state() { return ps_; }
  DeviceLink& link() { return link_; }
  Notifier& notifier() { return *notifier_; }
  SerialLink& serial_port() { return *serial_; }  // `MSComm1`
  TcpLink& tcp_client() { return *tcp_; }         // `wsk_client`

  // The pieces, for one another and for tests.
  SerialControl& serial_control() { return *serial_control_; }
  EthernetControl& ethernet() { return *ethernet_; }
  ResetReboot& reset_reboot() { return *reset_reboot_; }
  Modes& modes() { return *modes_; }
  Routing& routing() { return *routing_; }
  Resolution& resolution() { return *resolution_; }
  Overlays& overlays() { return *overlays_; }
  Picture& picture() { return *picture_; }
  Bezel& bezel() { return *bezel_; }
  Audio& audio() { return *audio_; }
  Power& power() { return *power_; }
  Refresh& refresh() { return *refresh_; }
  LockMenu& lock_menu() { return *lock_menu_; }
  Presets& presets() { return *presets_; }
  KeypadControl& keypad() { return *keypad_; }
  HdcpControl& hdcp() { return *hdcp_; }
  LabelControl& labels() { return *labels_; }
  PipControl& pip() { return *pip_; }
  NetworkPanel& network() { return *network_; }
  Startup& startup() { return *startup_; }
  StatusLine& status_line() { return *status_line_; }

  // Public operations of the main window.
  void tx_cmd(std::string_view tx_str) { link_.tx_cmd(tx_str); }
  void tx_nowait(std::string_view p) { link_.tx_nowait(p); }
  bool rx_flag() const { return link_.state().rx_flag; }
  void wait_sec(double x) { link_.wait_sec(x); }
  void cmd_clear_Click() { link_.cmd_clear_Click(); }
  // Puts the traffic received so far into the console box (it is added in batches).
  void flush_console();
  void set_comm();
  void map_refresh();
  void cmd_pic_refresh_Click();
  void cmd_ver_Click();
  void cmd_disconn_eth_Click();
  void hdcp_refresh();
  void hdcp_in_out_set(const std::string& hdcp_str);
  void label_in_refresh();
  void label_in_set(const std::string& lab_in_str);
  void dual_pip_refresh();
  void dual_pip_set(const std::string& pip_str);

  // The two outer heights, in twips.
  static constexpr int kSmallHeight = 2640;
  static constexpr int kAdvancedHeight = 6780;
  static constexpr int kWidth = 12780;
  static constexpr int kAssumedFrameHeight = 450;  // title bar and borders
  static constexpr int kBottomMargin = 60;
  // Sets the window's outer height (twips) keeping its width; the status line
  // along the foot adds its own height.
  void set_outer_height(int twip_height);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  MainControls c_;
  PanelState ps_;
  DeviceLink link_;
  std::unique_ptr<Notifier> own_notifier_;
  std::unique_ptr<TextConsole> console_;
  Notifier* notifier_ = nullptr;
  SerialLink* serial_ = nullptr;
  TcpLink* tcp_ = nullptr;

  std::unique_ptr<SerialControl> serial_control_;
  std::unique_ptr<EthernetControl> ethernet_;
  std::unique_ptr<ResetReboot> reset_reboot_;
  std::unique_ptr<Modes> modes_;
  std::unique_ptr<Routing> routing_;
  std::unique_ptr<Resolution> resolution_;
  std::unique_ptr<Overlays> overlays_;
  std::unique_ptr<Picture> picture_;
  std::unique_ptr<Bezel> bezel_;
  std::unique_ptr<Audio> audio_;
  std::unique_ptr<Power> power_;
  std::unique_ptr<Refresh> refresh_;
  std::unique_ptr<LockMenu> lock_menu_;
  std::unique_ptr<Presets> presets_;
  std::unique_ptr<KeypadControl> keypad_;
  std::unique_ptr<HdcpControl> hdcp_;
  std::unique_ptr<LabelControl> labels_;
  std::unique_ptr<PipControl> pip_;
  std::unique_ptr<NetworkPanel> network_;
  std::unique_ptr<Startup> startup_;
  std::unique_ptr<StatusLine> status_line_;
};

}  // namespace quadrel
