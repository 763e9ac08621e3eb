// Audio on/off, audio EDID, and the audio choices of the dual and quad modes.
#pragma once

#include <array>
#include <cstddef>
#include <optional>

#include "ui/piece.h"

class QRadioButton;

namespace quadrel {

class Audio : public Piece {
 public:
  explicit Audio(const PanelContext& context);

  void cmd_mute_Click();
  void opt_audio_Click(int index);
  void opt_da_Click(int index);
  void opt_db_Click(int index);
  void opt_quad_Click(int index);
  void rx_aud();

 private:
  // An option group: the indices that name an option, and what a click asks for.
  template <std::size_t N, class Ask>
  void connect_group(std::array<QRadioButton*, N>& group, int first, int last, Ask ask);
  template <std::size_t N>
  void show_option(std::array<QRadioButton*, N>& group, const std::optional<int>& k);
};

}  // namespace quadrel
