// Output resolution and aspect lists, and the 1080i restriction.
#pragma once

#include "ui/piece.h"

namespace quadrel {

class Resolution : public Piece {
 public:
  explicit Resolution(const PanelContext& context);

  QCoro::Task<> cbo_output_Click();
  QCoro::Task<> cbo_aspect_Click();
  void rx_res();
  void rx_asp();

  static constexpr const char* kInterlacedRefused =
      "1080i50/60 are not supported for Dual PoP, TV Wall, Dual PiP, Quad";
  // Resolution numbers are reported in two digits.
  static constexpr int kHighestResolution = 99;
};

}  // namespace quadrel
