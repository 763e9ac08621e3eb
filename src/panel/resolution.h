// Output resolution and aspect lists, and the 1080i restriction.
#pragma once

#include <QObject>

#include "shell/piece.h"
#include "shell/settings_file.h"

namespace quadrel {

class Resolution : public Piece {
 public:
  explicit Resolution(FrmMain& main);

  void cbo_output_Click();
  void cbo_aspect_Click();
  void rx_res();
  void rx_asp();

  // The two interlaced 1080-line entries of the resolution list, served in
  // the Matrix mode only.
  static bool is_interlaced_1080(int position) { return position == 4 || position == 5; }
  static constexpr const char* kInterlacedRefused =
      "1080i50/60 are not supported for Dual PoP, TV Wall, Dual PiP, Quad";
  // Resolution numbers are reported in two digits.
  static constexpr int kHighestResolution = static_cast<int>(kMaxResolutions);
 private:
  // Context of the control connections: they end with this piece.
  QObject ctx_;
};

}  // namespace quadrel
