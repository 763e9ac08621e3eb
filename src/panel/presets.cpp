#include "panel/presets.h"

#include <QPushButton>

#include "shell/control_kinds.h"

namespace quadrel {

Presets::Presets(FrmMain& main) : Piece(main) {
  for (int n = 1; n <= 4; ++n) {
    if (c_.cmd_save[n])
      QObject::connect(c_.cmd_save[n], &QPushButton::clicked, &ctx_, [this, n] { cmd_save_Click(n); });
    if (c_.cmd_recall[n])
      QObject::connect(c_.cmd_recall[n], &QPushButton::clicked, &ctx_, [this, n] { cmd_recall_Click(n); });
  }
  on_reply(code::SAV, [this] { rx_sav(); });
  on_reply(code::CAL, [this] { rx_cal(); });
}

void Presets::row_enabled(Row& row, bool enabled) {
  for (int n = 1; n <= 4; ++n)
    if (row[n]) row[n]->setEnabled(enabled);
}

void Presets::highlight(Row& row, int index) {
  for (int n = 1; n <= 4; ++n) show_current(row[n], n == index);
}

void Presets::send_and_wait(Row& row, std::string_view code, int index) {
  highlight(row, 0);
  row_enabled(row, false);
  link_.tx_cmd(cmd::set(code, index));
  // A reply that comes after the exchange gave up is handled by the receive
  // paths and sets the flag, which ends this wait.
  if (!rx_flag()) link_.wait_until([this] { return rx_flag(); }, kLateReplyMs);
}

void Presets::cmd_save_Click(int index) {
  send_and_wait(c_.cmd_save, code::SAV, index);
  row_enabled(c_.cmd_save, true);
}

void Presets::cmd_recall_Click(int index) {
  send_and_wait(c_.cmd_recall, code::CAL, index);
  if (rx_flag()) main_.map_refresh();
  row_enabled(c_.cmd_recall, true);
}

void Presets::rx_sav() { highlight(c_.cmd_save, reading::preset(reply()).value_or(0)); }

void Presets::rx_cal() { highlight(c_.cmd_recall, reading::preset(reply()).value_or(0)); }

}  // namespace quadrel
