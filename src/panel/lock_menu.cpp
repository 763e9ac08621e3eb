#include "panel/lock_menu.h"

#include <QPushButton>

#include "shell/widgets.h"

namespace quadrel {

LockMenu::LockMenu(FrmMain& main) : Piece(main) {
  auto connect_click = [this](QPushButton* button, void (LockMenu::*handler)()) {
    if (button) QObject::connect(button, &QPushButton::clicked, &ctx_, [this, handler] { (this->*handler)(); });
  };
  connect_click(c_.cmd_lock, &LockMenu::cmd_lock_Click);
  connect_click(c_.cmd_menu_menu, &LockMenu::cmd_menu_menu_Click);
  connect_click(c_.cmd_menu_exit, &LockMenu::cmd_menu_exit_Click);
  connect_click(c_.cmd_menu_ok, &LockMenu::cmd_menu_ok_Click);
  connect_click(c_.cmd_menu_up, &LockMenu::cmd_menu_up_Click);
  connect_click(c_.cmd_menu_down, &LockMenu::cmd_menu_down_Click);
  connect_click(c_.cmd_menu_left, &LockMenu::cmd_menu_left_Click);
  connect_click(c_.cmd_menu_right, &LockMenu::cmd_menu_right_Click);
  on_reply(code::LCK, [this] { rx_lck(); });
}

void LockMenu::cmd_lock_Click() {
  // Until the device has reported its lock, a click locks.
  if (ps_.lock_state == 1) {
    ps_.lock_state = 0;
    link_.tx_cmd(cmd::LCK_UNLOCK);
  } else {
    ps_.lock_state = 1;
    link_.tx_cmd(cmd::LCK_LOCK);
  }
}

void LockMenu::cmd_menu_menu_Click() { link_.tx_cmd(cmd::MENU_MENU); }
void LockMenu::cmd_menu_exit_Click() { link_.tx_cmd(cmd::MENU_EXIT); }
void LockMenu::cmd_menu_ok_Click() { link_.tx_cmd(cmd::MENU_OK); }
void LockMenu::cmd_menu_up_Click() { link_.tx_cmd(cmd::MENU_UP); }
void LockMenu::cmd_menu_down_Click() { link_.tx_cmd(cmd::MENU_DOWN); }
void LockMenu::cmd_menu_left_Click() { link_.tx_cmd(cmd::MENU_LEFT); }
void LockMenu::cmd_menu_right_Click() { link_.tx_cmd(cmd::MENU_RIGHT); }

void LockMenu::rx_lck() {
  const std::string line = reply();
  const auto digit = reading::lock(line);
  if (!digit) return;
  const int value = *digit;
  ps_.lock_state = value;
  // Any value but 0 counts as locked.
  if (c_.cmd_lock)
    load_button_picture(c_.cmd_lock, value != 0 ? QStringLiteral("lock.bmp") : QStringLiteral("unlock.bmp"));
}

}  // namespace quadrel
