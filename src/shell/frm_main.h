// The main window: composes the controls, the device and one piece per concern.
#pragma once

#include <QWidget>
#include <memory>

#include "link/core/link_io.h"
#include "link/device.h"
#include "shell/command_line.h"
#include "ui/main_controls.h"
#include "ui/panel_host.h"
#include "ui/panel_state.h"
#include "windows/network_panel.h"

namespace quadrel {

class TextConsole;
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

class FrmMain : public QWidget, private PanelHost {
  Q_OBJECT
 public:
  explicit FrmMain(const FrmMainOptions& options = {}, QWidget* parent = nullptr);
  ~FrmMain() override;

  MainControls& controls() { return c_; }
  PanelState& state() { return ps_; }
  Device& device() { return device_; }
  DeviceLink& link() { return device_.link(); }
  Notifier& notifier() { return *notifier_; }

  // The pieces, for tests.
  SerialControl& serial_control() { return *serial_control_; }
  EthernetControl& ethernet() { return *ethernet_; }
  Modes& modes() { return *modes_; }
  Routing& routing() { return *routing_; }
  Picture& picture() { return *picture_; }
  Refresh& refresh() { return *refresh_; }
  KeypadControl& keypad() { return *keypad_; }
  HdcpControl& hdcp() { return *hdcp_; }
  LabelControl& labels() { return *labels_; }
  PipControl& pip() { return *pip_; }
  NetworkPanel& network() { return *network_; }
  Startup& startup() { return *startup_; }
  StatusLine& status_line() { return *status_line_; }

  // Puts the traffic received so far into the console box (it is added in batches).
  void flush_console();

  // The two outer heights, in twips.
  static constexpr int kSmallHeight = NetworkPanel::kSmallHeight;
  static constexpr int kAdvancedHeight = NetworkPanel::kAdvancedHeight;
  static constexpr int kWidth = 12780;
  static constexpr int kAssumedFrameHeight = 450;  // title bar and borders
  static constexpr int kBottomMargin = 60;
  // Sets the window's outer height (twips) keeping its width; the status line
  // along the foot adds its own height.
  void set_outer_height(int twip_height) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // What the pieces ask of the window.
  QWidget& window() override { return *this; }
  void notice(const QString& text, bool through_next_answer) override;
  void open_tool(ToolKind tool) override;
  void close_tool(ToolKind tool) override;

  MainControls c_;
  PanelState ps_;
  Device device_;
  std::unique_ptr<Notifier> own_notifier_;
  std::unique_ptr<TextConsole> console_;
  Notifier* notifier_ = nullptr;

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
