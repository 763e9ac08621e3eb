#include "shell/frm_main.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <algorithm>

#include "panel/audio.h"
#include "panel/bezel.h"
#include "panel/ethernet_control.h"
#include "panel/lock_menu.h"
#include "panel/modes.h"
#include "panel/overlays.h"
#include "panel/picture.h"
#include "panel/power.h"
#include "panel/presets.h"
#include "panel/refresh.h"
#include "panel/reset_reboot.h"
#include "panel/resolution.h"
#include "panel/routing.h"
#include "panel/serial_control.h"
#include "panel/status_line.h"
#include "settings/file_locations.h"
#include "shell/layout.h"
#include "shell/startup.h"
#include "ui/accessibility.h"
#include "ui/ui_io.h"
#include "ui/widgets.h"
#include "windows/hdcp_control.h"
#include "windows/keypad_control.h"
#include "windows/label_control.h"
#include "windows/pip_control.h"

namespace quadrel {

FrmMain::FrmMain(const FrmMainOptions& options, QWidget* parent) : QWidget(parent) {
  if (!options.program_folder.isEmpty()) set_program_folder(options.program_folder);
  setObjectName(QStringLiteral("frm_main"));
  setWindowTitle(QStringLiteral("Quadrel"));
  set_picture_folder(file_locations().data_folder());

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
  device_.set_console(console_.get());
  device_.set_notifier(notifier_);

  const PanelContext context{device_, c_, ps_, *notifier_, *this};
  serial_control_ = std::make_unique<SerialControl>(context);
  serial_control_->set_ports_folder(file_locations().settings_folder());
  ethernet_ = std::make_unique<EthernetControl>(context);
  reset_reboot_ = std::make_unique<ResetReboot>(context);
  modes_ = std::make_unique<Modes>(context);
  routing_ = std::make_unique<Routing>(context);
  resolution_ = std::make_unique<Resolution>(context);
  overlays_ = std::make_unique<Overlays>(context);
  picture_ = std::make_unique<Picture>(context);
  bezel_ = std::make_unique<Bezel>(context);
  audio_ = std::make_unique<Audio>(context);
  power_ = std::make_unique<Power>(context);
  refresh_ = std::make_unique<Refresh>(context);
  lock_menu_ = std::make_unique<LockMenu>(context);
  presets_ = std::make_unique<Presets>(context);
  keypad_ = std::make_unique<KeypadControl>(context);
  hdcp_ = std::make_unique<HdcpControl>(context);
  labels_ = std::make_unique<LabelControl>(context);
  pip_ = std::make_unique<PipControl>(context);
  network_ = std::make_unique<NetworkPanel>(context);
  status_line_ = std::make_unique<StatusLine>(context);
  startup_ = std::make_unique<Startup>(context, *serial_control_, *ethernet_);

  startup_->set_run_link(options.run_link);
  startup_->Form_Load(options.show);
}

FrmMain::~FrmMain() {
  // Whatever awaits the device ends while every piece of the window is still there.
  device_.shut_down();
}

void FrmMain::closeEvent(QCloseEvent* event) {
  // A refresh or any other wait under way ends now instead of going on unseen.
  device_.shut_down();
  startup_->Form_Unload();
  // What is still to be said is said before the window goes (not when a
  // signal closes it: nobody may be there to answer).
  if (!startup_->closing_on_signal()) notifier_->flush();
  event->accept();
}

bool FrmMain::focusNextPrevChild(bool next) {
  // The groups the window's height cuts off (the console, and in the small
  // size everything below the map) would be stops nobody sees: they are passed over.
  const int shown_bottom = status_line_ ? status_line_->widget()->y() : height();
  const int stops = static_cast<int>(findChildren<QWidget*>().size());
  for (int i = 0; i < stops; ++i) {
    if (!QWidget::focusNextPrevChild(next)) return false;
    QWidget* focused = focusWidget();
    if (!focused || focused->window() != this) return true;
    if (focused->mapTo(this, QPoint(0, 0)).y() < shown_bottom) return true;
  }
  return true;
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

void FrmMain::notice(const QString& text, bool through_next_answer) {
  status_line_->notice(text, through_next_answer);
}

void FrmMain::open_tool(ToolKind tool) {
  switch (tool) {
    case ToolKind::Keypad: keypad_->Form_Load(); break;
    case ToolKind::Hdcp: hdcp_->Form_Load(); break;
    case ToolKind::Labels: labels_->Form_Load(); break;
    case ToolKind::Pip: pip_->Form_Load(); break;
  }
}

void FrmMain::close_tool(ToolKind tool) {
  switch (tool) {
    case ToolKind::Keypad: keypad_->unload(); break;
    case ToolKind::Hdcp: hdcp_->unload(); break;
    case ToolKind::Labels: labels_->unload(); break;
    case ToolKind::Pip: pip_->unload(); break;
  }
}

}  // namespace quadrel
