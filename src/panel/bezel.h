// Bezel correction: on/off, the two sliders and their device limits.
#pragma once

#include "ui/piece.h"

class QLineEdit;
class QScrollBar;

namespace quadrel {

class Bezel : public Piece {
 public:
  explicit Bezel(const PanelContext& context);

  void opt_bezel_onoff_Click(int index);
  void hsr_bezel_h_Change() { slider_change(0); }
  void hsr_bezel_v_Change() { slider_change(1); }
  void rx_bez();

  // Largest correction the protocol carries; larger reply values are not applied.
  static constexpr int kMaxCorrection = kBezelMax;

 private:
  QScrollBar* slider_of(int axis) const;
  QLineEdit* box_of(int axis) const;
  QCoro::Task<> slider_change(int axis);
  // A value or a limit the device reported for axis 0 (horizontal) or 1 (vertical).
  void show_value(int axis);
  void show_limit(int axis);
};

}  // namespace quadrel
