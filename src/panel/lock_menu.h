// The front-panel key lock and the seven on-screen menu keys.
#pragma once

#include <QObject>

#include "shell/piece.h"

namespace quadrel {

class LockMenu : public Piece {
 public:
  explicit LockMenu(FrmMain& main);

  void cmd_lock_Click();
  void cmd_menu_menu_Click();
  void cmd_menu_exit_Click();
  void cmd_menu_ok_Click();
  void cmd_menu_up_Click();
  void cmd_menu_down_Click();
  void cmd_menu_left_Click();
  void cmd_menu_right_Click();
  void rx_lck();

 private:
  QObject ctx_;  // connections made for this piece end with it
};

}  // namespace quadrel
