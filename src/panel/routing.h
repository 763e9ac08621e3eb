// The output map: channel buttons, the sixteen cells, and the routing reports.
#pragma once

#include <QColor>

#include "ui/piece.h"

namespace quadrel {

class Routing : public Piece {
 public:
  explicit Routing(const PanelContext& context);

  void cmd_out_Click(int index);
  void lab_out_in_Click(int channel, int index);
  // Marks channel `out`'s block as the one whose digits are choices.
  void map_out_select(int out);
  void rx_out();
  void rx_inp(int channel);

 private:
  // Whether the map shows `input` as the one feeding `channel` (in the TV
  // Wall the first block stands for every output).
  bool routed(int channel, int input) const;
  // A cell's colour is its shape's fill and its label's background together.
  void set_cell_colour(int channel, int input, const QColor& c);
  // Paints a channel's block from the device's routing.
  void paint_block(int channel);
  // Every cell grey: the routing is read again.
  void clear_map();
};

}  // namespace quadrel
