// The five display modes and what each mode report does to the window.
#pragma once

#include <array>

#include <QObject>

#include "link/core/parameters.h"
#include "ui/piece.h"

namespace quadrel {

class Modes : public Piece {
 public:
  explicit Modes(const PanelContext& context);

  // Asks the device for mode `index` (1..5), then reads back the routing, the
  // picture values and the aspect of the new mode.
  void cmd_mode_Click(int index);
  void rx_mod();

  // Enables the audio or bezel frames the current mode uses while the device
  // is on, with the captions of the dual audio choices; the others stay disabled.
  void settle_mode_frames();

 private:
  // Captions of the channel buttons, the picture rows and the map cells, and
  // the accessible names that go with them.
  void apply_captions(int mode, const ModeNames& look);
  // The dual audio choices as `mode` (Dual PoP or Dual PiP) names them.
  void set_dual_captions(int mode);
  // While a mode change runs no other can start from the buttons.
  void mode_change_started();
  void mode_change_finished();
};

}  // namespace quadrel
