#include "panel/resolution.h"

#include <QComboBox>
#include <QPushButton>

namespace quadrel {

Resolution::Resolution(const PanelContext& context) : Piece(context) {
  // `activated` is the user's choice, also of the entry already shown. A
  // selection made by a reply raises no choice at all; the rendering still
  // keeps `send_enable` off meanwhile, as every list does.
  if (c_.cbo_output)
    QObject::connect(c_.cbo_output, &QComboBox::activated, &ctx_, [this](int) { cbo_output_Click(); });
  if (c_.cbo_aspect)
    QObject::connect(c_.cbo_aspect, &QComboBox::activated, &ctx_, [this](int) { cbo_aspect_Click(); });
  on_change(Aspect::Resolution, [this](int) { rx_res(); });
  on_change(Aspect::AspectRatio, [this](int) { rx_asp(); });
}

QCoro::Task<> Resolution::cbo_output_Click() {
  const QPointer<QObject> alive = guard();
  if (!ps_.send_enable) co_return;
  const int number = c_.cbo_output->currentIndex() + 1;
  if (number < 1 || number > kHighestResolution) co_return;

  if (!device_.resolution_allowed(number)) {
    // Refused here: the list goes back to what the device has.
    ps_.send_enable = false;
    co_await device_.read_resolution();
    if (!alive) co_return;
    notifier_.message(kInterlacedRefused, MessageIcon::Warning);
    ps_.send_enable = true;
    co_return;
  }

  c_.cbo_output->setEnabled(false);
  co_await device_.set(Aspect::Resolution, 0, number);
  if (!alive) co_return;
  if (device_.disp_mode() == mode_no::Matrix) {
    const bool other_modes = !Device::is_interlaced_1080(number);
    for (int i = 2; i <= 5; ++i) c_.cmd_mode[i]->setEnabled(other_modes);
  }
  c_.cbo_output->setEnabled(true);
}

QCoro::Task<> Resolution::cbo_aspect_Click() {
  const QPointer<QObject> alive = guard();
  if (!ps_.send_enable) co_return;
  const int position = c_.cbo_aspect->currentIndex();
  if (position < 0) co_return;
  c_.cbo_aspect->setEnabled(false);
  co_await device_.set(Aspect::AspectRatio, 0, position);
  if (alive) c_.cbo_aspect->setEnabled(true);
}

void Resolution::rx_res() {
  // No resolution clears the selection; a number past the list's end names no entry.
  const int number = device_.state().resolution.value_or(0);
  if (number > c_.cbo_output->count()) return;
  set_quietly([&] { c_.cbo_output->setCurrentIndex(number - 1); });
}

void Resolution::rx_asp() {
  const int aspect = device_.state().aspect.value_or(-1);
  if (aspect < 0 || aspect >= c_.cbo_aspect->count()) return;
  set_quietly([&] { c_.cbo_aspect->setCurrentIndex(aspect); });
}

}  // namespace quadrel
