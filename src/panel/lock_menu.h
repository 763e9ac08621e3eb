// The front-panel key lock and the seven on-screen menu keys.
#pragma once

#include "ui/piece.h"

namespace quadrel {

class LockMenu : public Piece {
 public:
  explicit LockMenu(const PanelContext& context);

  void cmd_lock_Click();
  void cmd_menu_menu_Click() { device_.press_menu_key(MenuKey::Menu); }
  void cmd_menu_exit_Click() { device_.press_menu_key(MenuKey::Exit); }
  void cmd_menu_ok_Click() { device_.press_menu_key(MenuKey::Ok); }
  void cmd_menu_up_Click() { device_.press_menu_key(MenuKey::Up); }
  void cmd_menu_down_Click() { device_.press_menu_key(MenuKey::Down); }
  void cmd_menu_left_Click() { device_.press_menu_key(MenuKey::Left); }
  void cmd_menu_right_Click() { device_.press_menu_key(MenuKey::Right); }
  void rx_lck();
};

}  // namespace quadrel
