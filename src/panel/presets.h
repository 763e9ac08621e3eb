// Saving and recalling the four presets.
#pragma once

#include <array>

#include <QObject>

#include "shell/piece.h"

class QPushButton;

namespace quadrel {

class Presets : public Piece {
 public:
  explicit Presets(FrmMain& main);

  // Each waits up to 5 s more for a late reply after the exchange; a recall
  // that was answered (also by "ERR") reloads the output map.
  void cmd_save_Click(int index);
  void cmd_recall_Click(int index);
  void rx_sav();
  void rx_cal();

  // The extra wait for a late reply, in milliseconds.
  static constexpr int kLateReplyMs = 5000;

 private:
  using Row = std::array<QPushButton*, 5>;
  void send_and_wait(Row& row, std::string_view code, int index);
  void row_enabled(Row& row, bool enabled);
  void highlight(Row& row, int index);
  QObject ctx_;  // connections made for this piece end with it
};

}  // namespace quadrel
