#include "panel/picture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include "ui/widgets.h"

namespace quadrel {

namespace {

constexpr Adjustment kAdjustments[] = {Adjustment::Brightness, Adjustment::Contrast, Adjustment::Hue,
                                       Adjustment::Saturation};

Aspect aspect_of(Adjustment adjustment) {
  switch (adjustment) {
    case Adjustment::Brightness: return Aspect::Brightness;
    case Adjustment::Contrast: return Aspect::Contrast;
    case Adjustment::Hue: return Aspect::Hue;
    case Adjustment::Saturation: break;
  }
  return Aspect::Saturation;
}

const std::optional<int>& value_of(const PictureValues& values, Adjustment adjustment) {
  switch (adjustment) {
    case Adjustment::Brightness: return values.brightness;
    case Adjustment::Contrast: return values.contrast;
    case Adjustment::Hue: return values.hue;
    case Adjustment::Saturation: break;
  }
  return values.saturation;
}

}  // namespace

Picture::Picture(const PanelContext& context) : Piece(context) {
  for (Adjustment adjustment : kAdjustments) {
    Row row = row_of(adjustment);
    for (int n = 1; n <= 4; ++n) {
      QScrollBar* slider = row.sliders[n];
      if (!slider) continue;
      // One change per release, arrow or track click; none while dragging.
      slider->setTracking(false);
      QObject::connect(slider, &QScrollBar::valueChanged, &ctx_,
                       [this, adjustment, n] { slider_change(adjustment, n); });
    }
    on_change(aspect_of(adjustment), [this, adjustment](int n) { show_value(adjustment, n); });
  }
  // A picture reset puts every row of the mode back to its middle.
  on_change(Aspect::PictureReset, [this](int) {
    const int rows = device_.disp_mode() == mode_no::Matrix ? 1 : 4;
    set_quietly([&] {
      for (Adjustment adjustment : kAdjustments)
        for (int n = 1; n <= rows; ++n) show(adjustment, n);
    });
  });
  if (c_.cmd_pic_refresh)
    QObject::connect(c_.cmd_pic_refresh, &QPushButton::clicked, &ctx_, [this] { cmd_pic_refresh_Click(); });
  if (c_.cmd_pic_reset)
    QObject::connect(c_.cmd_pic_reset, &QPushButton::clicked, &ctx_, [this] { cmd_pic_reset_Click(); });
}

Picture::Row Picture::row_of(Adjustment adjustment) {
  switch (adjustment) {
    case Adjustment::Brightness: return {c_.hsr_bri, c_.txt_bri};
    case Adjustment::Contrast: return {c_.hsr_con, c_.txt_con};
    case Adjustment::Hue: return {c_.hsr_hue, c_.txt_hue};
    case Adjustment::Saturation: break;
  }
  return {c_.hsr_sat, c_.txt_sat};
}

QCoro::Task<> Picture::slider_change(Adjustment adjustment, int index) {
  const QPointer<QObject> alive = guard();
  if (!ps_.send_enable) co_return;
  Row row = row_of(adjustment);
  if (index < 1 || index > 4 || !row.sliders[index]) co_return;
  const int value = row.sliders[index]->value();
  if (row.boxes[index]) row.boxes[index]->setText(QString::number(value));
  // Not sent (no link, another command waiting): the row goes back to what
  // the device holds, once the slider's own event is over.
  const bool sent = co_await device_.send_picture(adjustment, index, value);
  if (!sent && alive)
    QTimer::singleShot(0, &ctx_, [this, adjustment, index] { show_value(adjustment, index); });
}

void Picture::show_value(Adjustment adjustment, int n) {
  set_quietly([&] { show(adjustment, n); });
}

void Picture::show(Adjustment adjustment, int n) {
  const auto& value = value_of(device_.state().picture[n - 1], adjustment);
  if (!value) return;
  Row row = row_of(adjustment);
  // The box first: the slider's own change event is ignored while sending is off.
  set_text(row.boxes[n], QString::number(*value));
  if (row.sliders[n]) row.sliders[n]->setValue(*value);
}

void Picture::cmd_pic_refresh_Click() { device_.picture_refresh(); }

void Picture::cmd_pic_reset_Click() { device_.reset_picture(); }

}  // namespace quadrel
