// The keyboard window and its button on the main window.
#pragma once


#include <QObject>

#include "ui/piece.h"
#include "ui/tool_window.h"

class QKeyEvent;

namespace quadrel {

class FrmKeypad;

class KeypadControl : public Piece {
 public:
  explicit KeypadControl(const PanelContext& context);
  ~KeypadControl() override;

  // Opens the keyboard window, or closes it when it is open.
  void cmd_keypad_Click();
  void Form_Load();
  void unload();

  // What a key does in the keyboard window.
  enum class KeyAction {
    None, MenuOk, Lock, MenuMenu, MenuExit, Mute, MenuLeft, MenuUp, MenuRight, MenuDown,
    Mode, Output, Input,
  };
  struct KeyBinding {
    KeyAction action = KeyAction::None;
    int index = 0;  // mode 1..5, output 1..4 or input 1..4
  };
  // The key table: keypad keys with and without Num Lock, arrows, Home, End,
  // Page Up, Page Down, the main-row digits 1..5 and A S D F J K L ;. The
  // digits and letters are places on the keyboard, whatever the layout types
  // there: with a native scan code they are found by it (a French layout's
  // "&" key is mode 1), without one by the key code as a US layout gives it.
  // The Shift key changes nothing (Shift+1 on a US layout still means mode 1).
  static KeyBinding key_binding(int key, Qt::KeyboardModifiers modifiers, quint32 scan_code = 0);

  // `Form_KeyDown`: carries out the key's action unless the panel is waiting.
  QCoro::Task<> Form_KeyDown(int key, Qt::KeyboardModifiers modifiers, quint32 scan_code = 0);

  FrmKeypad* window() const;

  // The pause after a menu arrow (more than 50 ms), during which keys are dropped.
  static constexpr int kArrowPauseMs = 51;

 private:
  void Form_Unload();

  ToolWindowSlot<FrmKeypad> window_;
};

}  // namespace quadrel
