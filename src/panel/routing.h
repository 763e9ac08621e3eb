// The output map: channel buttons, the sixteen cells, and the routing replies.
#pragma once

#include <QColor>

#include <QObject>

#include "shell/piece.h"

namespace quadrel {

class Routing : public Piece {
 public:
  explicit Routing(FrmMain& main);

  // Reads the input of every channel: OUT001, INP999, ... OUT004, INP999,
  // stopping at the first command the device does not answer.
  void map_refresh();
  void cmd_out_Click(int index);
  void lab_out_in_Click(int channel, int index);
  void lab_out_a_in_Click(int index) { lab_out_in_Click(1, index); }
  void lab_out_b_in_Click(int index) { lab_out_in_Click(2, index); }
  void lab_out_c_in_Click(int index) { lab_out_in_Click(3, index); }
  void lab_out_d_in_Click(int index) { lab_out_in_Click(4, index); }
  void map_out_select(int out);
  void rx_out();
  void rx_inp();

 private:
  // A cell's colour is its shape's fill and its label's background together.
  void set_cell_colour(int channel, int input, const QColor& c);
  // Greys a channel's block and marks `input` as the one that feeds it.
  void paint_block(int channel, int input);
  // Context of the control connections: they end with this piece.
  QObject ctx_;
};

}  // namespace quadrel
