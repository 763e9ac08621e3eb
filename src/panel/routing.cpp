#include "panel/routing.h"

#include <QPushButton>

#include "ui/control_kinds.h"
#include "ui/widgets.h"

namespace quadrel {

namespace {
bool valid_channel(int n) { return n >= 1 && n <= 4; }
}  // namespace

Routing::Routing(const PanelContext& context) : Piece(context) {
  for (int ch = 1; ch <= 4; ++ch) {
    if (QPushButton* button = c_.cmd_out[ch])
      QObject::connect(button, &QPushButton::clicked, &ctx_, [this, ch] { cmd_out_Click(ch); });
    for (int in = 1; in <= 4; ++in) {
      if (ClickLabel* cell = c_.lab_out_in[ch][in])
        QObject::connect(cell, &ClickLabel::clicked, &ctx_, [this, ch, in] { lab_out_in_Click(ch, in); });
    }
  }
  on_change(Aspect::Channel, [this](int) { rx_out(); });
  on_change(Aspect::Routing, [this](int channel) { rx_inp(channel); });
  // The routing colours come back with the routing queries that follow a mode report.
  on_change(Aspect::Mode, [this](int) { clear_map(); });
  // A mode change starts with no channel marked; it ends on the current one.
  QObject::connect(&device_, &Device::mode_change_started, &ctx_, [this] {
    for (int n = 1; n <= 4; ++n) show_current(c_.cmd_out[n], false);
  });
  QObject::connect(&device_, &Device::mode_change_finished, &ctx_, [this](int mode) {
    if (mode != mode_no::TvWall) show_current(c_.cmd_out[device_.sel_out()], true);
  });
  // The block is marked at once; the button follows the device's OUT report.
  QObject::connect(&device_, &Device::output_chosen, &ctx_, [this](int channel) { map_out_select(channel); });
}

void Routing::cmd_out_Click(int index) { device_.select_output(index); }

void Routing::lab_out_in_Click(int channel, int index) {
  // Only the current channel's digits are choices.
  if (device_.sel_out() != channel || !valid_channel(index)) return;
  device_.route_input(index);
}

bool Routing::routed(int channel, int input) const {
  if (device_.disp_mode() == mode_no::TvWall && channel != 1) return false;
  return device_.state().inputs[channel - 1] == input;
}

void Routing::set_cell_colour(int channel, int input, const QColor& c) {
  c_.sha_out_in[channel][input]->set_fill(c);
  set_back_color(c_.lab_out_in[channel][input], c);
}

void Routing::paint_block(int channel) {
  // Each cell takes its colour once: a cell that keeps its colour is not touched.
  for (int in = 1; in <= 4; ++in) {
    const bool on = routed(channel, in);
    set_cell_colour(channel, in, on ? colour::routed_green : colour::idle_grey);
    // The green cell is the routed one, to assistive tools as well.
    set_accessible_description(c_.lab_out_in[channel][in], on ? QStringLiteral("routed") : QString());
  }
}

void Routing::clear_map() {
  for (int ch = 1; ch <= 4; ++ch) {
    for (int in = 1; in <= 4; ++in) {
      set_cell_colour(ch, in, colour::idle_grey);
      set_accessible_description(c_.lab_out_in[ch][in], QString());
    }
  }
}

void Routing::map_out_select(int out) {
  if (!valid_channel(out)) return;
  for (int ch = 1; ch <= 4; ++ch) {
    for (int in = 1; in <= 4; ++in) {
      c_.sha_out_in[ch][in]->set_border(colour::border_grey);
      // Outside the chosen block only the routed inputs show their digit.
      c_.lab_out_in[ch][in]->setVisible(ch == out || routed(ch, in));
    }
  }
  for (int in = 1; in <= 4; ++in) {
    c_.sha_out_in[out][in]->set_border(colour::black);
    c_.sha_out_in[out][in]->setVisible(true);
  }
}

void Routing::rx_out() {
  const int out = device_.sel_out();
  for (int n = 1; n <= 4; ++n) show_current(c_.cmd_out[n], n == out);
  map_out_select(out);
}

void Routing::rx_inp(int channel) {
  // In the TV Wall one input feeds the whole wall; the first block stands for all outputs.
  paint_block(channel == 0 ? 1 : channel);
}

}  // namespace quadrel
