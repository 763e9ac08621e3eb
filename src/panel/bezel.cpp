#include "panel/bezel.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>

#include "shell/widgets.h"

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

void Bezel::rx_beh() { apply_reply(0, c_.hsr_bezel_h, c_.txt_bezel_h); }

void Bezel::rx_bev() { apply_reply(1, c_.hsr_bezel_v, c_.txt_bezel_v); }

namespace {
int correction_of(std::string_view code) { return code == code::BEV ? 1 : 0; }
}  // namespace

bool Bezel::awaiting(int which) const {
  return limit_marked_[which] && !limit_until_[which].hasExpired();
}

bool Bezel::limit_pending(std::string_view code) const { return awaiting(correction_of(code)); }

void Bezel::end_limit(int which) {
  limit_marked_[which] = false;
  ps_.bezel_limit_query = limit_marked_[0] || limit_marked_[1];
}

void Bezel::forget_limits() {
  end_limit(0);
  end_limit(1);
}

void Bezel::query_limit(std::string_view code) {
  const int which = correction_of(code);
  limit_marked_[which] = true;
  limit_until_[which].setRemainingTime(kLimitWaitMs);
  ps_.bezel_limit_query = true;
  link_.tx_cmd(cmd::query_limit(code));
  // Answered (the reply ended the mark), refused or not sent: no limit is on
  // its way. Only a query the device left unanswered may still be answered.
  if (link_.state().last_outcome != ExchangeOutcome::NoAnswer) end_limit(which);
}

void Bezel::apply_reply(int which, QScrollBar* slider, QLineEdit* box) {
  const std::string line = reply();
  const auto correction = reading::bezel(line);
  if (!correction) return;
  const int p = *correction;
  if (!slider) return;

  const bool limit = awaiting(which);
  if (!limit) end_limit(which);  // a mark whose time is up
  ps_.send_enable = false;
  if (limit) {
    // The device's upper limit. A value above it is brought down to it by the
    // slider; the box then shows where the slider stands.
    end_limit(which);
    const int before = slider->value();
    slider->setMaximum(p);
    if (slider->value() != before && box) box->setText(QString::number(slider->value()));
  } else {
    // A value above the current limit stops at the limit; the box shows the
    // value the slider holds.
    slider->setValue(p);
    set_text(box, QString::number(slider->value()));
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
