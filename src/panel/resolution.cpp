#include "panel/resolution.h"

#include <QComboBox>
#include <QPushButton>

namespace quadrel {

namespace {
constexpr int kMatrix = 1;
}  // namespace

Resolution::Resolution(FrmMain& main) : Piece(main) {
  // `activated` is the user's choice, also of the entry already shown. A
  // selection made by a reply handler raises no choice at all; the handlers
  // still keep `send_enable` off meanwhile, as every list does.
  if (c_.cbo_output)
    QObject::connect(c_.cbo_output, &QComboBox::activated, &ctx_,
                     [this](int) { cbo_output_Click(); });
  if (c_.cbo_aspect)
    QObject::connect(c_.cbo_aspect, &QComboBox::activated, &ctx_,
                     [this](int) { cbo_aspect_Click(); });
  on_reply(code::RES, [this] { rx_res(); });
  on_reply(code::ASP, [this] { rx_asp(); });
}

void Resolution::cbo_output_Click() {
  if (!ps_.send_enable) return;
  const int position = c_.cbo_output->currentIndex();
  if (position < 0 || position + 1 > kHighestResolution) return;

  if (ps_.disp_mode != kMatrix && is_interlaced_1080(position)) {
    // Refused here: the list goes back to what the device has.
    ps_.send_enable = false;
    link_.tx_cmd(cmd::query(code::RES));
    main_.notifier().message(kInterlacedRefused, MessageIcon::Warning);
    ps_.send_enable = true;
    return;
  }

  c_.cbo_output->setEnabled(false);
  link_.tx_cmd(cmd::set(code::RES, position + 1));
  if (ps_.disp_mode == kMatrix) {
    const bool other_modes = !is_interlaced_1080(position);
    for (int i = 2; i <= 5; ++i) c_.cmd_mode[i]->setEnabled(other_modes);
  }
  c_.cbo_output->setEnabled(true);
}

void Resolution::cbo_aspect_Click() {
  if (!ps_.send_enable) return;
  const int position = c_.cbo_aspect->currentIndex();
  if (position < 0) return;
  c_.cbo_aspect->setEnabled(false);
  link_.tx_cmd(cmd::set(code::ASP, position));
  c_.cbo_aspect->setEnabled(true);
}

void Resolution::rx_res() {
  const std::string line = reply();
  const int number = reading::resolution(line).value_or(-1);
  // RES000 clears the selection; a number past the list's end names no entry.
  if (number < 0 || number > c_.cbo_output->count()) return;
  set_quietly([&] { c_.cbo_output->setCurrentIndex(number - 1); });
}

void Resolution::rx_asp() {
  const std::string line = reply();
  const int aspect = reading::aspect(line).value_or(-1);
  if (aspect < 0 || aspect >= c_.cbo_aspect->count()) return;
  set_quietly([&] { c_.cbo_aspect->setCurrentIndex(aspect); });
}

}  // namespace quadrel
