#include "panel/power.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

#include "panel/modes.h"
#include "shell/widgets.h"

namespace quadrel {

Power::Power(FrmMain& main) : Piece(main) {
  if (c_.cmd_pwr)
    QObject::connect(c_.cmd_pwr, &QPushButton::clicked, &ctx_, [this] { cmd_pwr_Click(); });
  on_reply(code::PWR, [this] { rx_pwr(); });
}

std::vector<QWidget*> Power::governed_controls() const {
  return {c_.cmd_hdcp,   c_.cbo_aspect, c_.fra_btn,  c_.fra_recall_save, c_.fra_dual_a,
          c_.fra_dual_b, c_.fra_bezel,  c_.fra_pic,  c_.fra_audio,       c_.fra_quad};
}

void Power::cmd_pwr_Click() {
  // Until the device answers, the button shows neither state.
  if (c_.cmd_pwr) load_button_picture(c_.cmd_pwr, QStringLiteral("power_none.bmp"));
  if (ps_.pwr_state == 1) {
    ps_.pwr_state = 0;
    link_.tx_cmd(cmd::PWR_STANDBY);
    return;
  }
  ps_.pwr_state = 1;
  // No second power command while the device starts.
  if (c_.cmd_pwr) c_.cmd_pwr->setEnabled(false);
  link_.tx_cmd(cmd::PWR_ON);
  if (c_.cmd_mute) load_button_picture(c_.cmd_mute, QStringLiteral("speaker_on.bmp"));
}

void Power::rx_pwr() {
  const std::string line = reply();
  const auto reported = reading::power(line);
  if (!reported) return;
  // Any digit but 0 reports on; kept as 1 so the next click asks for standby.
  ps_.pwr_state = *reported ? 1 : 0;
  if (c_.cmd_fact_reset) c_.cmd_fact_reset->setEnabled(true);

  const bool on = ps_.pwr_state != 0;
  if (c_.cmd_pwr)
    load_button_picture(c_.cmd_pwr, on ? QStringLiteral("power_on.bmp")
                                       : QStringLiteral("power_standby.bmp"));
  Modes& modes = main_.modes();
  for (QWidget* w : governed_controls()) {
    // Switched on, the audio and bezel frames follow the display mode.
    if (w && !(on && modes.is_mode_frame(w))) w->setEnabled(on);
  }
  if (on) modes.settle_mode_frames();
  // Any report shows that the device is reachable: the button can be used
  // again, also after a request that got no answer or was never sent.
  if (c_.cmd_pwr) c_.cmd_pwr->setEnabled(true);
}

}  // namespace quadrel
