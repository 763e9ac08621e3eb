#include "panel/reset_reboot.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include "panel/ethernet_control.h"
#include "shell/widgets.h"

namespace quadrel {

namespace {
constexpr const char* kReconnectNotice = "Need to re-connect Ethernet after Corvane re-boots ready !";
constexpr int kPictureResetValue = 50;
}  // namespace

ResetReboot::ResetReboot(FrmMain& main) : Piece(main) {
  QObject::connect(c_.cmd_fact_reset, &QPushButton::clicked, c_.cmd_fact_reset,
                   [this] { cmd_fact_reset_Click(); });
  on_reply(code::RST, [this] { rx_rst(); });
  link_.on_ethernet_reboot = [this] { ethernet_reboot(); };
}

void ResetReboot::cmd_fact_reset_Click() {
  const LinkState& st = link_.state();
  if ((st.iface == 0 && st.serial_open) || (st.iface == 1 && st.eth_connected))
    c_.cmd_fact_reset->setEnabled(false);
  main_.tx_cmd(cmd::RST_FACTORY);
}

void ResetReboot::rx_rst() {
  const std::string line = reply();
  const int n = reading::picture_reset(line).value_or(0);
  if (n == 1) {
    c_.cmd_fact_reset->setEnabled(true);
  } else if (n == 2) {
    const int rows = ps_.disp_mode == 1 ? 1 : 4;
    const QString text = QString::number(kPictureResetValue);
    set_quietly([&] {
      for (int i = 1; i <= rows; ++i) {
        for (QLineEdit* box : {c_.txt_bri[i], c_.txt_con[i], c_.txt_hue[i], c_.txt_sat[i]}) box->setText(text);
        for (QScrollBar* bar : {c_.hsr_bri[i], c_.hsr_con[i], c_.hsr_hue[i], c_.hsr_sat[i]})
          bar->setValue(kPictureResetValue);
      }
    });
  }
}

// The device restarts after the command just sent and drops the connection:
// tell the user, put the map back into its look before the first refresh and
// close this side.
void ResetReboot::ethernet_reboot() {
  // The connection is expected to go now: the watch must not report its loss
  // as a fault while the panel waits for the device's last words.
  main_.ethernet().stop_watch();
  link_.wait_sec(1);
  main_.notifier().message(kReconnectNotice, MessageIcon::Warning);
  c_.lab_pip->hide();
  c_.sha_pip->hide();
  c_.lab_lab_input->hide();
  c_.sha_lab_in->hide();
  c_.img_start->show();
  c_.cmd_keypad->hide();
  main_.cmd_disconn_eth_Click();
}

}  // namespace quadrel
