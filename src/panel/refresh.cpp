#include "panel/refresh.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "panel/bezel.h"
#include "shell/widgets.h"

namespace quadrel {

Refresh::Refresh(FrmMain& main) : Piece(main) {
  if (c_.cmd_refresh)
    QObject::connect(c_.cmd_refresh, &QPushButton::clicked, &ctx_, [this] { cmd_refresh_Click(); });
  if (c_.cmd_ver)
    QObject::connect(c_.cmd_ver, &QPushButton::clicked, &ctx_, [this] { cmd_ver_Click(); });
  on_reply(code::VER, [this] { rx_ver(); });
  on_reply(code::VR2, [this] { rx_vr2(); });
}

void Refresh::cmd_refresh_Click() {
  if (c_.cmd_refresh) {
    c_.cmd_refresh->setEnabled(false);
    set_back_color(c_.cmd_refresh, colour::olive);
  }
  // Uncovers what is hidden until the first refresh, even when the link is closed.
  if (c_.img_start) c_.img_start->hide();
  if (c_.cmd_keypad) c_.cmd_keypad->show();
  if (c_.lab_lab_input) c_.lab_lab_input->show();
  if (c_.sha_lab_in) c_.sha_lab_in->show();

  cmd_ver_Click();
  if (rx_flag() && query_settings()) {
    // The routing map and the picture rows are read whatever "ASP999" brought.
    main_.map_refresh();
    if (ps_.advanced_open) main_.cmd_pic_refresh_Click();
  }

  if (c_.cmd_refresh) {
    set_back_color(c_.cmd_refresh, colour::idle_grey);
    c_.cmd_refresh->setEnabled(true);
  }
}

bool Refresh::query_settings() {
  // Settings first, then the bezel limits, so a limit applies to the value read.
  for (std::string_view audio : {code::AUA, code::AUB, code::AUD, code::AUE, code::AUQ}) {
    link_.tx_cmd(cmd::query(audio));
    if (!rx_flag()) return false;
  }
  // A limit still awaited from an earlier refresh is not: these replies are values.
  main_.bezel().forget_limits();
  for (std::string_view bezel : {code::BEH, code::BEV, code::BEZ}) {
    link_.tx_cmd(cmd::query(bezel));
    if (!rx_flag()) return false;
  }
  for (std::string_view limit : {code::BEH, code::BEV}) {
    // The reply to this query is the slider's maximum, not its value, even
    // when it comes after the wait.
    main_.bezel().query_limit(limit);
    if (!rx_flag()) return false;
  }
  for (std::string_view setting : {code::LCK, code::PWR, code::RES, code::MOD}) {
    link_.tx_cmd(cmd::query(setting));
    if (!rx_flag()) return false;
  }
  // TV Wall shows one picture on every output: there is no output to select.
  if (ps_.disp_mode != 3) {
    link_.tx_cmd(cmd::query(code::OUT));
    if (!rx_flag()) return false;
  }
  link_.tx_cmd(cmd::query(code::INP));
  if (!rx_flag()) return false;
  link_.tx_cmd(cmd::query(code::ASP));
  return true;
}

void Refresh::cmd_ver_Click() {
  link_.tx_cmd(cmd::query(code::VER));
  if (!rx_flag()) return;
  link_.tx_cmd(cmd::query(code::VR2));
}

void Refresh::rx_ver() {
  const std::string line = reply();
  set_text(c_.txt_ver, QString::fromStdString(reply::version_text(line)));
}

void Refresh::rx_vr2() {
  const std::string line = reply();
  set_text(c_.txt_ver2, QString::fromStdString(reply::version2_text(line)));
}

}  // namespace quadrel
