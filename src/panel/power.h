// The power button and the controls that follow the power reports.
#pragma once

#include <QObject>
#include <vector>

#include "shell/piece.h"

class QWidget;

namespace quadrel {

class Power : public Piece {
 public:
  explicit Power(FrmMain& main);

  void cmd_pwr_Click();
  void rx_pwr();

  // The controls usable only while the device is on, in the order they are
  // enabled and disabled.
  std::vector<QWidget*> governed_controls() const;

 private:
  QObject ctx_;  // connections made for this piece end with it
};

}  // namespace quadrel
