#include "panel/routing.h"

#include <QPushButton>

#include "shell/control_kinds.h"
#include "shell/widgets.h"

namespace quadrel {

namespace {
constexpr int kTvWall = 3;

bool valid_channel(int n) { return n >= 1 && n <= 4; }
}  // namespace

Routing::Routing(FrmMain& main) : Piece(main) {
  for (int ch = 1; ch <= 4; ++ch) {
    if (QPushButton* button = c_.cmd_out[ch])
      QObject::connect(button, &QPushButton::clicked, &ctx_, [this, ch] { cmd_out_Click(ch); });
    for (int in = 1; in <= 4; ++in) {
      if (ClickLabel* cell = c_.lab_out_in[ch][in])
        QObject::connect(cell, &ClickLabel::clicked, &ctx_,
                         [this, ch, in] { lab_out_in_Click(ch, in); });
    }
  }
  on_reply(code::OUT, [this] { rx_out(); });
  on_reply(code::INP, [this] { rx_inp(); });
}

void Routing::map_refresh() {
  link_.tx_cmd(cmd::set(code::OUT, 1));
  for (int ch = 1; ch <= 4; ++ch) {
    if (ch > 1) {
      if (!rx_flag()) return;
      link_.tx_cmd(cmd::set(code::OUT, ch));
    }
    if (!rx_flag()) return;
    link_.tx_cmd(cmd::query(code::INP));
  }
}

void Routing::cmd_out_Click(int index) {
  if (ps_.disp_mode == kTvWall) return;
  if (!valid_channel(index)) return;
  // The block is marked at once; the button follows the device's OUT reply.
  map_out_select(index);
  link_.tx_cmd(cmd::set(code::OUT, index));
  link_.tx_cmd(cmd::query(code::INP));
}

void Routing::lab_out_in_Click(int channel, int index) {
  // Only the current channel's digits are choices.
  if (ps_.sel_out != channel) return;
  if (!valid_channel(index)) return;
  link_.tx_cmd(cmd::set(code::INP, index));
}

void Routing::set_cell_colour(int channel, int input, const QColor& c) {
  c_.sha_out_in[channel][input]->set_fill(c);
  set_back_color(c_.lab_out_in[channel][input], c);
}

void Routing::paint_block(int channel, int input) {
  // Each cell takes its colour once: a cell that keeps its colour is not touched.
  for (int in = 1; in <= 4; ++in) {
    set_cell_colour(channel, in, in == input ? colour::routed_green : colour::idle_grey);
    // The green cell is the routed one, to assistive tools as well.
    set_accessible_description(c_.lab_out_in[channel][in], in == input ? QStringLiteral("routed")
                                                                     : QString());
  }
}

void Routing::map_out_select(int out) {
  if (!valid_channel(out)) return;
  for (int ch = 1; ch <= 4; ++ch) {
    for (int in = 1; in <= 4; ++in) {
      ShapeWidget* shape = c_.sha_out_in[ch][in];
      shape->set_border(colour::border_grey);
      c_.lab_out_in[ch][in]->setVisible(shape->fill() == colour::routed_green);
    }
  }
  for (int in = 1; in <= 4; ++in) {
    ShapeWidget* shape = c_.sha_out_in[out][in];
    shape->set_border(colour::black);
    c_.lab_out_in[out][in]->setVisible(true);
    shape->setVisible(true);
  }
}

void Routing::rx_out() {
  const std::string line = reply();
  const auto channel = reading::channel(line);
  // Only outputs A to D exist; anything else leaves the map as it is.
  if (!channel) return;
  const int out = *channel;
  ps_.sel_out = out;
  for (int n = 1; n <= 4; ++n) show_current(c_.cmd_out[n], n == out);
  map_out_select(out);
}

void Routing::rx_inp() {
  const std::string line = reply();
  const auto routed = reading::input(line);
  if (!routed) return;
  const int input = *routed;
  switch (ps_.disp_mode) {
    case kTvWall:
      // One input feeds the whole wall; the first block stands for all outputs.
      paint_block(1, input);
      break;
    case 1:
    case 2:
    case 5:
      if (valid_channel(ps_.sel_out)) paint_block(ps_.sel_out, input);
      break;
    default:
      break;
  }
}

}  // namespace quadrel
