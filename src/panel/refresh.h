// The full refresh of every setting, and the firmware versions.
#pragma once

#include <QObject>

#include "shell/piece.h"

namespace quadrel {

class Refresh : public Piece {
 public:
  explicit Refresh(FrmMain& main);

  void cmd_refresh_Click();
  void cmd_ver_Click();
  void rx_ver();
  void rx_vr2();

 private:
  // The queries after the versions, up to the routing map; false when one
  // went unanswered.
  bool query_settings();

  QObject ctx_;  // connections made for this piece end with it
};

}  // namespace quadrel
