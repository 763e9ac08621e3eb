#include "panel/power.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

#include "ui/widgets.h"

namespace quadrel {

Power::Power(const PanelContext& context) : Piece(context) {
  if (c_.cmd_pwr) QObject::connect(c_.cmd_pwr, &QPushButton::clicked, &ctx_, [this] { cmd_pwr_Click(); });
  on_change(Aspect::Power, [this](int) { rx_pwr(); });
}

std::vector<QWidget*> Power::governed_controls() const {
  return {c_.cmd_hdcp,   c_.cbo_aspect, c_.fra_btn, c_.fra_recall_save, c_.fra_dual_a,
          c_.fra_dual_b, c_.fra_bezel,  c_.fra_pic, c_.fra_audio,       c_.fra_quad};
}

bool Power::is_mode_frame(const QWidget* w) const {
  return w && (w == c_.fra_dual_a || w == c_.fra_dual_b || w == c_.fra_bezel || w == c_.fra_quad);
}

QCoro::Task<> Power::cmd_pwr_Click() {
  const QPointer<QObject> alive = guard();
  // Until the device answers, the button shows neither state.
  if (c_.cmd_pwr) load_button_picture(c_.cmd_pwr, QStringLiteral("power_none.bmp"));
  if (device_.pwr_state() == 1) {
    co_await device_.set_power(false);
    co_return;
  }
  // No second power command while the device starts.
  if (c_.cmd_pwr) c_.cmd_pwr->setEnabled(false);
  co_await device_.set_power(true);
  if (alive && c_.cmd_mute) load_button_picture(c_.cmd_mute, QStringLiteral("speaker_on.bmp"));
}

void Power::rx_pwr() {
  if (c_.cmd_fact_reset) c_.cmd_fact_reset->setEnabled(true);
  const bool on = device_.pwr_state() != 0;
  if (c_.cmd_pwr)
    load_button_picture(c_.cmd_pwr, on ? QStringLiteral("power_on.bmp") : QStringLiteral("power_standby.bmp"));
  for (QWidget* w : governed_controls()) {
    // Switched on, the audio and bezel frames follow the display mode (the
    // display mode's piece sets them).
    if (w && !(on && is_mode_frame(w))) w->setEnabled(on);
  }
  // Any report shows that the device is reachable: the button can be used
  // again, also after a request that got no answer or was never sent.
  if (c_.cmd_pwr) c_.cmd_pwr->setEnabled(true);
}

}  // namespace quadrel
