// The full refresh of every setting, and the firmware versions.
#pragma once

#include "ui/piece.h"

namespace quadrel {

class Refresh : public Piece {
 public:
  explicit Refresh(const PanelContext& context);

  QCoro::Task<> cmd_refresh_Click();
  void cmd_ver_Click();
  void rx_ver(int which);
};

}  // namespace quadrel
