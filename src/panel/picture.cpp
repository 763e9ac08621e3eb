#include "panel/picture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "shell/widgets.h"

namespace quadrel {

Picture::Picture(FrmMain& main) : Piece(main) {
  connect_row_sliders(c_.hsr_bri, &Picture::hsr_bri_Change);
  connect_row_sliders(c_.hsr_con, &Picture::hsr_con_Change);
  connect_row_sliders(c_.hsr_hue, &Picture::hsr_hue_Change);
  connect_row_sliders(c_.hsr_sat, &Picture::hsr_sat_Change);
  if (c_.cmd_pic_refresh)
    QObject::connect(c_.cmd_pic_refresh, &QPushButton::clicked, &ctx_,
                     [this] { cmd_pic_refresh_Click(); });
  if (c_.cmd_pic_reset)
    QObject::connect(c_.cmd_pic_reset, &QPushButton::clicked, &ctx_,
                     [this] { cmd_pic_reset_Click(); });

  on_reply(code::BRI, [this] { rx_bri(); });
  on_reply(code::CON, [this] { rx_con(); });
  on_reply(code::HUE, [this] { rx_hue(); });
  on_reply(code::SAT, [this] { rx_sat(); });
}

void Picture::connect_row_sliders(std::array<QScrollBar*, 5>& sliders,
                                  void (Picture::*change)(int)) {
  for (int n = 1; n <= 4; ++n) {
    QScrollBar* slider = sliders[n];
    if (!slider) continue;
    // One change per release, arrow or track click; none while dragging.
    slider->setTracking(false);
    QObject::connect(slider, &QScrollBar::valueChanged, &ctx_,
                     [this, change, n] { (this->*change)(n); });
  }
}

void Picture::slider_change(const Adjustment& adj, int index) {
  if (!ps_.send_enable) return;
  if (index < 1 || index > 4 || !adj.sliders[index]) return;
  const int value = adj.sliders[index]->value();
  const int param = cmd::picture_param(ps_.disp_mode, index, value);
  if (param < 0) return;  // no mode the device knows yet
  if (adj.boxes[index]) adj.boxes[index]->setText(QString::number(value));
  link_.tx_nowait(cmd::set(adj.code, param));
}

void Picture::apply_reply(const Adjustment& adj) {
  const std::string line = reply();
  // Which row the value belongs to. Values outside a row's 0..100 are not
  // the device's picture values; they are left alone so no slider leaves its range.
  const auto reported = reading::picture(ps_.disp_mode, line);
  if (!reported) return;
  const int row = reported->index;
  const int value = reported->value;

  set_quietly([&] {
    // The box first: the slider's own change event is ignored while sending is off.
    set_text(adj.boxes[row], QString::number(value));
    if (adj.sliders[row]) adj.sliders[row]->setValue(value);
  });
}

void Picture::cmd_pic_refresh_Click() {
  static constexpr std::array<std::string_view, 4> kCodes{code::BRI, code::CON, code::HUE,
                                                          code::SAT};
  switch (ps_.disp_mode) {
    case 1:
      for (std::size_t i = 0; i < kCodes.size(); ++i) {
        link_.tx_cmd(cmd::query(kCodes[i]));
        if (i + 1 < kCodes.size() && !rx_flag()) return;
      }
      return;
    case 2:
    case 3:
    case 5:
      for (int n = 1; n <= 4; ++n) {
        for (std::string_view code : kCodes) {
          link_.tx_cmd(cmd::query_channel(code, n));
          // An unanswered saturation query does not stop the next output's queries.
          if (code != code::SAT && !rx_flag()) return;
        }
      }
      return;
    default:
      return;
  }
}

void Picture::cmd_pic_reset_Click() { link_.tx_cmd(cmd::RST_PICTURE); }

}  // namespace quadrel
