#include "panel/bezel.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>

namespace quadrel {

Bezel::Bezel(FrmMain& main) : Piece(main) {
  for (QScrollBar* slider : {c_.hsr_bezel_h, c_.hsr_bezel_v}) {
    if (!slider) continue;
    slider->setTracking(false);
  }
  if (c_.hsr_bezel_h)
    QObject::connect(c_.hsr_bezel_h, &QScrollBar::valueChanged, &ctx_,
                     [this] { hsr_bezel_h_Change(); });
  if (c_.hsr_bezel_v)
    QObject::connect(c_.hsr_bezel_v, &QScrollBar::valueChanged, &ctx_,
                     [this] { hsr_bezel_v_Change(); });
  // A selection made by a reply raises the same event; it sends nothing then.
  for (int i = 0; i <= 1; ++i) {
    if (!c_.opt_bezel_onoff[i]) continue;
    QObject::connect(c_.opt_bezel_onoff[i], &QRadioButton::toggled, &ctx_, [this, i](bool on) {
      if (on) opt_bezel_onoff_Click(i);
    });
  }

  on_reply(code::BEH, [this] { rx_beh(); });
  on_reply(code::BEV, [this] { rx_bev(); });
  on_reply(code::BEZ, [this] { rx_bez(); });
}

void Bezel::opt_bezel_onoff_Click(int index) {
  if (!ps_.send_enable) return;
  if (index < 0 || index > 1) return;
  // The sliders follow the device's answer, not the click.
  link_.tx_cmd(cmd::set(code::BEZ, index));
}

void Bezel::hsr_bezel_h_Change() { slider_change(code::BEH, c_.hsr_bezel_h, c_.txt_bezel_h); }

void Bezel::hsr_bezel_v_Change() { slider_change(code::BEV, c_.hsr_bezel_v, c_.txt_bezel_v); }

void Bezel::slider_change(std::string_view code, QScrollBar* slider, QLineEdit* box) {
  if (!ps_.send_enable || !slider) return;
  const int value = slider->value();
  if (box) box->setText(QString::number(value));
  link_.tx_nowait(cmd::set(code, value));
}

void Bezel::rx_beh() { apply_reply(c_.hsr_bezel_h, c_.txt_bezel_h); }

void Bezel::rx_bev() { apply_reply(c_.hsr_bezel_v, c_.txt_bezel_v); }

void Bezel::apply_reply(QScrollBar* slider, QLineEdit* box) {
  const std::string line = reply();
  const auto correction = reading::bezel(line);
  if (!correction) return;
  const int p = *correction;
  if (!slider) return;

  ps_.send_enable = false;
  if (ps_.bezel_limit_query) {
    // The device's upper limit. A value above it is brought down to it by the
    // slider; the box then shows where the slider stands.
    ps_.bezel_limit_query = false;
    const int before = slider->value();
    slider->setMaximum(p);
    if (slider->value() != before && box) box->setText(QString::number(slider->value()));
  } else {
    // A value above the current limit stops at the limit; the box shows the
    // value the slider holds.
    slider->setValue(p);
    if (box) box->setText(QString::number(slider->value()));
  }
  link_.pump_once();
  ps_.send_enable = true;
}

void Bezel::rx_bez() {
  const std::string line = reply();
  const auto on = reading::bezel_on(line);
  if (!on) return;  // names neither "Off" nor "On"
  const int k = *on;
  ps_.send_enable = false;
  if (c_.opt_bezel_onoff[k]) c_.opt_bezel_onoff[k]->setChecked(true);
  link_.pump_once();
  const bool off = c_.opt_bezel_onoff[0] && c_.opt_bezel_onoff[0]->isChecked();
  for (QScrollBar* slider : {c_.hsr_bezel_h, c_.hsr_bezel_v})
    if (slider) slider->setEnabled(!off);
  ps_.send_enable = true;
}

}  // namespace quadrel
