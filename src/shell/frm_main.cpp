#include "shell/frm_main.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>

#include "panel/ethernet_control.h"
#include "panel/reset_reboot.h"
#include "panel/serial_control.h"
#include "link/serial_link.h"
#include "link/tcp_link.h"
#include "panel/audio.h"
#include "panel/bezel.h"
#include "panel/lock_menu.h"
#include "panel/modes.h"
#include "panel/overlays.h"
#include "panel/picture.h"
#include "panel/power.h"
#include "panel/presets.h"
#include "panel/refresh.h"
#include "panel/resolution.h"
#include "panel/routing.h"
#include "panel/status_line.h"
#include "shell/accessibility.h"
#include "shell/layout.h"
#include "shell/startup.h"
#include "shell/ui_io.h"
#include "shell/widgets.h"
#include "windows/hdcp_control.h"
#include "windows/keypad_control.h"
#include "windows/label_control.h"
#include "windows/network_panel.h"
#include "windows/pip_control.h"

namespace quadrel {

FrmMain::FrmMain(const FrmMainOptions& options, QWidget* parent) : QWidget(parent) {
  if (!options.program_folder.isEmpty()) set_program_folder(options.program_folder);
  setObjectName(QStringLiteral("frm_main"));
  setWindowTitle(QStringLiteral("Quadrel"));

  c_.frm_main = this;
  install_accessibility_rules();
  build_main_layout(c_, this);

  if (options.notifier) {
    notifier_ = options.notifier;
  } else {
    own_notifier_ = std::make_unique<MessageBoxNotifier>(this);
    notifier_ = own_notifier_.get();
  }
  console_ = std::make_unique<TextConsole>(c_.txt_cmd);
  serial_ = new SerialLink(this);
  tcp_ = new TcpLink(this);
  link_.set_serial(serial_);
  link_.set_tcp(tcp_);
  link_.set_console(console_.get());
  link_.set_notifier(notifier_);

  serial_control_ = std::make_unique<SerialControl>(*this);
  ethernet_ = std::make_unique<EthernetControl>(*this);
  reset_reboot_ = std::make_unique<ResetReboot>(*this);
  modes_ = std::make_unique<Modes>(*this);
  routing_ = std::make_unique<Routing>(*this);
  resolution_ = std::make_unique<Resolution>(*this);
  overlays_ = std::make_unique<Overlays>(*this);
  picture_ = std::make_unique<Picture>(*this);
  bezel_ = std::make_unique<Bezel>(*this);
  audio_ = std::make_unique<Audio>(*this);
  power_ = std::make_unique<Power>(*this);
  refresh_ = std::make_unique<Refresh>(*this);
  lock_menu_ = std::make_unique<LockMenu>(*this);
  presets_ = std::make_unique<Presets>(*this);
  keypad_ = std::make_unique<KeypadControl>(*this);
  hdcp_ = std::make_unique<HdcpControl>(*this);
  labels_ = std::make_unique<LabelControl>(*this);
  pip_ = std::make_unique<PipControl>(*this);
  network_ = std::make_unique<NetworkPanel>(*this);
  startup_ = std::make_unique<Startup>(*this);
  // After the link pieces: it reads the link state once they have changed it.
  status_line_ = std::make_unique<StatusLine>(*this);

  startup_->set_run_link(options.run_link);
  startup_->Form_Load(options.show);
}

FrmMain::~FrmMain() {
  // The pieces hold references into the window; the link's handlers into the pieces.
  for (const auto& entry : link_.table().entries()) link_.table().set(entry.code, {});
  link_.on_ethernet_reboot = nullptr;
  link_.on_serial_lost = nullptr;
}

void FrmMain::closeEvent(QCloseEvent* event) {
  // A refresh or any other wait under way ends now instead of going on unseen.
  link_.shut_down();
  startup_->Form_Unload();
  event->accept();
}

void FrmMain::set_outer_height(int twip_height) {
  // The outer height includes the title bar and the borders. Before the window
  // manager has framed the window (and on platforms without frames) a usual
  // title bar is assumed.
  const int frame_height = frameGeometry().height() - geometry().height();
  int client = twips(twip_height) - (frame_height > 0 ? frame_height : twips(kAssumedFrameHeight));
  // Whatever the title bar takes, the groups of the size stay whole: the small
  // size down to the output map, the advanced size down to the version boxes.
  const int uncovered_to = twip_height >= kAdvancedHeight ? c_.txt_cmd->y() : c_.fra_pic->y();
  QWidget* status = status_line_ ? status_line_->widget() : nullptr;
  int bottom = 0;
  int right = 0;
  for (QObject* child : children()) {
    auto* w = qobject_cast<QWidget*>(child);
    if (!w || w->isWindow() || w == status) continue;
    right = std::max(right, w->geometry().right() + 1);
    if (w->y() < uncovered_to) bottom = std::max(bottom, w->geometry().bottom() + 1);
  }
  client = std::max(client, bottom + twips(kBottomMargin));
  const int width = std::max(twips(kWidth) - (frameGeometry().width() - geometry().width()), right + 2);
  // The status line lies along the foot, below the groups of either size.
  const int line = status ? status_line_->height() : 0;
  setFixedSize(width, client + line);
  if (status) {
    status->setGeometry(0, client, width, line);
    status->raise();
  }
}

void FrmMain::flush_console() { console_->flush(); }
void FrmMain::set_comm() {
  serial_control_->set_comm();
  if (status_line_) status_line_->link_changed();
}
void FrmMain::map_refresh() { routing_->map_refresh(); }
void FrmMain::cmd_pic_refresh_Click() { picture_->cmd_pic_refresh_Click(); }
void FrmMain::cmd_ver_Click() { refresh_->cmd_ver_Click(); }
void FrmMain::cmd_disconn_eth_Click() {
  ethernet_->cmd_disconn_eth_Click();
  if (status_line_) status_line_->link_changed();
}
void FrmMain::hdcp_refresh() { hdcp_->hdcp_refresh(); }
void FrmMain::hdcp_in_out_set(const std::string& hdcp_str) { hdcp_->hdcp_in_out_set(hdcp_str); }
void FrmMain::label_in_refresh() { labels_->label_in_refresh(); }
void FrmMain::label_in_set(const std::string& lab_in_str) { labels_->label_in_set(lab_in_str); }
void FrmMain::dual_pip_refresh() { pip_->dual_pip_refresh(); }
void FrmMain::dual_pip_set(const std::string& pip_str) { pip_->dual_pip_set(pip_str); }

}  // namespace quadrel
