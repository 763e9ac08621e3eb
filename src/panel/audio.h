// Audio on/off, audio EDID, and the audio choices of the dual and quad modes.
#pragma once

#include <QObject>
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "shell/piece.h"

class QRadioButton;

namespace quadrel {

class Audio : public Piece {
 public:
  explicit Audio(FrmMain& main);

  void cmd_mute_Click();
  void opt_audio_Click(int index);
  void opt_da_Click(int index);
  void opt_db_Click(int index);
  void opt_quad_Click(int index);
  void rx_aud();
  void rx_aue();
  void rx_aua();
  void rx_aub();
  void rx_auq();

 private:
  // An option group: its code and the indices that name an option.
  template <std::size_t N>
  void connect_group(std::array<QRadioButton*, N>& group, int first, void (Audio::*click)(int));
  void option_click(std::string_view code, int index, int first, int last);
  template <std::size_t N>
  void apply_option_reply(std::array<QRadioButton*, N>& group, std::optional<int> k);

  QObject ctx_;  // connections made for this piece end with it
};

}  // namespace quadrel
