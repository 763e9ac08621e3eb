#include "panel/audio.h"

#include <QPushButton>
#include <QRadioButton>

#include "ui/widgets.h"

namespace quadrel {

namespace {
// Indices of each group; the index is the value on the wire.
constexpr int kEdidFirst = 0, kEdidLast = 4;  // 2CH, 6CH, 8CH, Bitstream, HD
constexpr int kDualFirst = 1, kDualLast = 2;  // Left/Main, Right/Sub
constexpr int kQuadFirst = 1, kQuadLast = 4;  // Q1..Q4
}  // namespace

Audio::Audio(const PanelContext& context) : Piece(context) {
  if (c_.cmd_mute) QObject::connect(c_.cmd_mute, &QPushButton::clicked, &ctx_, [this] { cmd_mute_Click(); });
  connect_group(c_.opt_audio, kEdidFirst, kEdidLast, [this](int i) { opt_audio_Click(i); });
  connect_group(c_.opt_da, kDualFirst, kDualLast, [this](int i) { opt_da_Click(i); });
  connect_group(c_.opt_db, kDualFirst, kDualLast, [this](int i) { opt_db_Click(i); });
  connect_group(c_.opt_quad, kQuadFirst, kQuadLast, [this](int i) { opt_quad_Click(i); });

  const DeviceState& s = device_.state();
  on_change(Aspect::AudioOn, [this](int) { rx_aud(); });
  on_change(Aspect::AudioEdid, [this, &s](int) { show_option(c_.opt_audio, s.audio_edid); });
  on_change(Aspect::DualAudio, [this, &s](int side) {
    if (side == 1) show_option(c_.opt_da, s.audio_a);
    else show_option(c_.opt_db, s.audio_b);
  });
  on_change(Aspect::QuadAudio, [this, &s](int) { show_option(c_.opt_quad, s.audio_quad); });
}

template <std::size_t N, class Ask>
void Audio::connect_group(std::array<QRadioButton*, N>& group, int first, int last, Ask ask) {
  // A selection made by a reply raises the same event; it sends nothing then.
  for (int i = first; i <= last && i < static_cast<int>(N); ++i) {
    if (!group[i]) continue;
    QObject::connect(group[i], &QRadioButton::toggled, &ctx_, [this, ask, i](bool on) {
      if (on) ask(i);
    });
  }
}

void Audio::cmd_mute_Click() {
  // The picture follows the device's answer.
  device_.toggle_audio();
}

void Audio::opt_audio_Click(int index) {
  if (ps_.send_enable && index >= kEdidFirst && index <= kEdidLast) device_.set(Aspect::AudioEdid, 0, index);
}
void Audio::opt_da_Click(int index) {
  if (ps_.send_enable && index >= kDualFirst && index <= kDualLast) device_.set(Aspect::DualAudio, 1, index);
}
void Audio::opt_db_Click(int index) {
  if (ps_.send_enable && index >= kDualFirst && index <= kDualLast) device_.set(Aspect::DualAudio, 2, index);
}
void Audio::opt_quad_Click(int index) {
  if (ps_.send_enable && index >= kQuadFirst && index <= kQuadLast) device_.set(Aspect::QuadAudio, 0, index);
}

void Audio::rx_aud() {
  if (c_.cmd_mute)
    load_button_picture(c_.cmd_mute, device_.audio_state() ? QStringLiteral("speaker_on.bmp")
                                                           : QStringLiteral("speaker_off.bmp"));
}

template <std::size_t N>
void Audio::show_option(std::array<QRadioButton*, N>& group, const std::optional<int>& k) {
  if (!k || *k < 0 || static_cast<std::size_t>(*k) >= N) return;  // names no option of the group
  set_quietly([&] {
    if (group[*k]) group[*k]->setChecked(true);
  });
}

}  // namespace quadrel
