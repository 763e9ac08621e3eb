#include "panel/lock_menu.h"

#include <QPushButton>

#include "ui/widgets.h"

namespace quadrel {

LockMenu::LockMenu(const PanelContext& context) : Piece(context) {
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
  on_change(Aspect::KeyLock, [this](int) { rx_lck(); });
}

void LockMenu::cmd_lock_Click() {
  // Until the device has reported its lock, a click locks.
  device_.toggle_lock();
}

void LockMenu::rx_lck() {
  // Any value but 0 counts as locked.
  if (c_.cmd_lock)
    load_button_picture(c_.cmd_lock, device_.state().key_lock.value_or(false) ? QStringLiteral("lock.bmp")
                                                                              : QStringLiteral("unlock.bmp"));
}

}  // namespace quadrel
