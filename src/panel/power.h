// The power button and the controls that follow the power reports.
#pragma once

#include <vector>

#include "ui/piece.h"

class QWidget;

namespace quadrel {

class Power : public Piece {
 public:
  explicit Power(const PanelContext& context);

  QCoro::Task<> cmd_pwr_Click();
  void rx_pwr();

  // The controls usable only while the device is on, in the order they are
  // enabled and disabled.
  std::vector<QWidget*> governed_controls() const;
  // Of those, the frames whose use depends on the display mode as well.
  bool is_mode_frame(const QWidget* w) const;
};

}  // namespace quadrel
