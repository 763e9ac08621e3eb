#include "panel/bezel.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

#include "ui/widgets.h"

namespace quadrel {

Bezel::Bezel(const PanelContext& context) : Piece(context) {
  for (int axis = 0; axis <= 1; ++axis) {
    QScrollBar* slider = slider_of(axis);
    if (!slider) continue;
    slider->setTracking(false);
    QObject::connect(slider, &QScrollBar::valueChanged, &ctx_, [this, axis] { slider_change(axis); });
  }
  // A selection made by a reply raises the same event; it sends nothing then.
  for (int i = 0; i <= 1; ++i) {
    if (!c_.opt_bezel_onoff[i]) continue;
    QObject::connect(c_.opt_bezel_onoff[i], &QRadioButton::toggled, &ctx_, [this, i](bool on) {
      if (on) opt_bezel_onoff_Click(i);
    });
  }
  on_change(Aspect::Bezel, [this](int axis) { show_value(axis); });
  on_change(Aspect::BezelLimit, [this](int axis) { show_limit(axis); });
  on_change(Aspect::BezelOn, [this](int) { rx_bez(); });
}

QScrollBar* Bezel::slider_of(int axis) const { return axis == 0 ? c_.hsr_bezel_h : c_.hsr_bezel_v; }
QLineEdit* Bezel::box_of(int axis) const { return axis == 0 ? c_.txt_bezel_h : c_.txt_bezel_v; }

void Bezel::opt_bezel_onoff_Click(int index) {
  if (!ps_.send_enable || index < 0 || index > 1) return;
  // The sliders follow the device's answer, not the click.
  device_.set(Aspect::BezelOn, 0, index == 1 ? 1 : 0);
}

QCoro::Task<> Bezel::slider_change(int axis) {
  const QPointer<QObject> alive = guard();
  QScrollBar* slider = slider_of(axis);
  if (!ps_.send_enable || !slider) co_return;
  const int value = slider->value();
  if (QLineEdit* box = box_of(axis)) box->setText(QString::number(value));
  // Not sent: the slider goes back to what the device holds, once its own event is over.
  const bool sent = co_await device_.send_bezel(axis, value);
  if (!sent && alive)
    QTimer::singleShot(0, &ctx_, [this, axis] { show_value(axis); });
}

void Bezel::show_value(int axis) {
  const std::optional<int>& value = axis == 0 ? device_.state().bezel_h : device_.state().bezel_v;
  QScrollBar* slider = slider_of(axis);
  if (!value || !slider) return;
  set_quietly([&] {
    // A value above the current limit stops at the limit; the box shows the
    // value the slider holds.
    slider->setValue(*value);
    set_text(box_of(axis), QString::number(slider->value()));
  });
}

void Bezel::show_limit(int axis) {
  const std::optional<int>& limit = axis == 0 ? device_.state().bezel_h_limit : device_.state().bezel_v_limit;
  QScrollBar* slider = slider_of(axis);
  if (!limit || !slider) return;
  set_quietly([&] {
    // A value above the new limit is brought down to it by the slider; the
    // box then shows where the slider stands.
    const int before = slider->value();
    slider->setMaximum(*limit);
    if (slider->value() != before) set_text(box_of(axis), QString::number(slider->value()));
  });
}

void Bezel::rx_bez() {
  const bool on = device_.state().bezel_on.value_or(false);
  ps_.send_enable = false;
  if (QRadioButton* option = c_.opt_bezel_onoff[on ? 1 : 0]) option->setChecked(true);
  for (int axis = 0; axis <= 1; ++axis)
    if (QScrollBar* slider = slider_of(axis)) slider->setEnabled(on);
  ps_.send_enable = true;
}

}  // namespace quadrel
