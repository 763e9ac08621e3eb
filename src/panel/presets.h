// Saving and recalling the four presets.
#pragma once

#include <array>

#include "ui/piece.h"

class QPushButton;

namespace quadrel {

class Presets : public Piece {
 public:
  explicit Presets(const PanelContext& context);

  // Each waits up to 5 s more for a late reply after the exchange; a recall
  // that was answered (also by "ERR") reloads the output map.
  QCoro::Task<> cmd_save_Click(int index);
  QCoro::Task<> cmd_recall_Click(int index);

 private:
  using Row = std::array<QPushButton*, 5>;
  void row_enabled(Row& row, bool enabled);
  void highlight(Row& row, int index);
};

}  // namespace quadrel
