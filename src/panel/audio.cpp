#include "panel/audio.h"

#include <QPushButton>
#include <QRadioButton>

#include "shell/widgets.h"

namespace quadrel {

namespace {
// Indices of each group; the index is the value on the wire.
constexpr int kEdidFirst = 0, kEdidLast = 4;  // 2CH, 6CH, 8CH, Bitstream, HD
constexpr int kDualFirst = 1, kDualLast = 2;  // Left/Main, Right/Sub
constexpr int kQuadFirst = 1, kQuadLast = 4;  // Q1..Q4
}  // namespace

Audio::Audio(FrmMain& main) : Piece(main) {
  if (c_.cmd_mute)
    QObject::connect(c_.cmd_mute, &QPushButton::clicked, &ctx_, [this] { cmd_mute_Click(); });
  connect_group(c_.opt_audio, kEdidFirst, &Audio::opt_audio_Click);
  connect_group(c_.opt_da, kDualFirst, &Audio::opt_da_Click);
  connect_group(c_.opt_db, kDualFirst, &Audio::opt_db_Click);
  connect_group(c_.opt_quad, kQuadFirst, &Audio::opt_quad_Click);

  on_reply(code::AUD, [this] { rx_aud(); });
  on_reply(code::AUE, [this] { rx_aue(); });
  on_reply(code::AUA, [this] { rx_aua(); });
  on_reply(code::AUB, [this] { rx_aub(); });
  on_reply(code::AUQ, [this] { rx_auq(); });
}

template <std::size_t N>
void Audio::connect_group(std::array<QRadioButton*, N>& group, int first,
                          void (Audio::*click)(int)) {
  // A selection made by a reply raises the same event; it sends nothing then.
  for (int i = first; i < static_cast<int>(N); ++i) {
    if (!group[i]) continue;
    QObject::connect(group[i], &QRadioButton::toggled, &ctx_, [this, click, i](bool on) {
      if (on) (this->*click)(i);
    });
  }
}

void Audio::cmd_mute_Click() {
  // The picture follows the device's answer.
  if (ps_.audio_state == 1) {
    ps_.audio_state = 0;
    link_.tx_cmd(cmd::AUD_OFF);
  } else {
    ps_.audio_state = 1;
    link_.tx_cmd(cmd::AUD_ON);
  }
}

void Audio::opt_audio_Click(int index) { option_click(code::AUE, index, kEdidFirst, kEdidLast); }
void Audio::opt_da_Click(int index) { option_click(code::AUA, index, kDualFirst, kDualLast); }
void Audio::opt_db_Click(int index) { option_click(code::AUB, index, kDualFirst, kDualLast); }
void Audio::opt_quad_Click(int index) { option_click(code::AUQ, index, kQuadFirst, kQuadLast); }

void Audio::option_click(std::string_view code, int index, int first, int last) {
  if (!ps_.send_enable) return;
  if (index < first || index > last) return;
  link_.tx_cmd(cmd::set(code, index));
}

void Audio::rx_aud() {
  const std::string line = reply();
  const auto on = reading::audio_on(line);
  if (!on) return;
  // Any digit but 0 reports audio on; kept as 1 so the next click mutes.
  ps_.audio_state = *on ? 1 : 0;
  if (c_.cmd_mute)
    load_button_picture(c_.cmd_mute, ps_.audio_state ? QStringLiteral("speaker_on.bmp")
                                                     : QStringLiteral("speaker_off.bmp"));
}

void Audio::rx_aue() { apply_option_reply(c_.opt_audio, reading::audio_edid(reply())); }
void Audio::rx_aua() { apply_option_reply(c_.opt_da, reading::dual_audio(reply())); }
void Audio::rx_aub() { apply_option_reply(c_.opt_db, reading::dual_audio(reply())); }
void Audio::rx_auq() { apply_option_reply(c_.opt_quad, reading::quad_audio(reply())); }

template <std::size_t N>
void Audio::apply_option_reply(std::array<QRadioButton*, N>& group, std::optional<int> k) {
  if (!k || *k < 0 || static_cast<std::size_t>(*k) >= N) return;  // names no option of the group
  set_quietly([&] {
    if (group[*k]) group[*k]->setChecked(true);
  });
}
}  // namespace quadrel
