#include "windows/keypad_control.h"

#include <QKeyEvent>
#include <QPushButton>

#include "windows/frm_keypad.h"

namespace quadrel {

FrmKeypad* KeypadControl::window() const { return window_.get(); }

KeypadControl::KeypadControl(const PanelContext& context) : Piece(context) {
  if (c_.cmd_keypad)
    QObject::connect(c_.cmd_keypad, &QPushButton::clicked, &ctx_, [this] { cmd_keypad_Click(); });
}

KeypadControl::~KeypadControl() = default;

void KeypadControl::cmd_keypad_Click() {
  if (ps_.keypad_open)
    unload();
  else
    Form_Load();
}

void KeypadControl::Form_Load() {
  window_.ensure(
      [this] {
        auto* window = new FrmKeypad(&host_.window());
        window->on_key_down = [this](QKeyEvent* e) {
          Form_KeyDown(e->key(), e->modifiers(), e->nativeScanCode());
        };
        return window;
      },
      [this] { Form_Unload(); });
  window_->set_loaded(true);
  ps_.keypad_open = true;
  // Directly above the main window, left edges aligned; elsewhere beside it
  // when the screen leaves no room there, so that it covers no control (or
  // the fewest) of the main window.
  QWidget& owner = host_.window();
  const QRect outer = owner.frameGeometry();
  // The controls as they are seen: the window's height cuts off what lies below it.
  const QRect shown(owner.mapToGlobal(QPoint(0, 0)), owner.size());
  QList<QRect> controls;
  for (QWidget* w : owner.findChildren<QWidget*>()) {
    if (w->isWindow() || w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(&owner)) continue;
    const QRect seen = QRect(w->mapToGlobal(QPoint(0, 0)), w->size()) & shown;
    if (!seen.isEmpty()) controls.append(seen);
  }
  window_->move_beside_owner(QPoint(outer.left(), outer.top() - window_->outer_height()), controls);
  window_->show();
  window_->activateWindow();
  window_->setFocus();
}

void KeypadControl::unload() {
  if (window_) window_->close();
}

void KeypadControl::Form_Unload() { ps_.keypad_open = false; }

namespace {

// Native scan codes of the main-row and letter keys: the PC keyboard's codes,
// which X11 and Wayland report raised by 8.
#ifdef Q_OS_WIN
constexpr quint32 kScanOffset = 0;
#else
constexpr quint32 kScanOffset = 8;
#endif

KeypadControl::KeyBinding binding_by_place(quint32 scan_code) {
  using A = KeypadControl::KeyAction;
  if (scan_code < kScanOffset) return {};
  switch (scan_code - kScanOffset) {
    case 2: return {A::Mode, 1};  // the keys "1" to "5" of a US layout
    case 3: return {A::Mode, 2};
    case 4: return {A::Mode, 3};
    case 5: return {A::Mode, 4};
    case 6: return {A::Mode, 5};
    case 30: return {A::Output, 1};  // A S D F
    case 31: return {A::Output, 2};
    case 32: return {A::Output, 3};
    case 33: return {A::Output, 4};
    case 36: return {A::Input, 1};  // J K L ;
    case 37: return {A::Input, 2};
    case 38: return {A::Input, 3};
    case 39: return {A::Input, 4};
    default: return {};
  }
}

}  // namespace

KeypadControl::KeyBinding KeypadControl::key_binding(int key, Qt::KeyboardModifiers modifiers,
                                                     quint32 scan_code) {
  const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
  const bool shift = modifiers.testFlag(Qt::ShiftModifier);
  using A = KeyAction;
  switch (key) {
    // Keys that are the same with and without Num Lock.
    case Qt::Key_Clear: return {A::MenuOk};
    case Qt::Key_PageUp: return {A::Lock};
    case Qt::Key_PageDown: return {A::MenuMenu};
    case Qt::Key_End: return {A::MenuExit};
    case Qt::Key_Home: return {A::Mute};
    case Qt::Key_Left: return {A::MenuLeft};
    case Qt::Key_Up: return {A::MenuUp};
    case Qt::Key_Right: return {A::MenuRight};
    case Qt::Key_Down: return {A::MenuDown};
    default: break;
  }
  if (keypad) {
    // The digits of the numeric keypad (Num Lock on) are the menu block.
    switch (key) {
      case Qt::Key_5: return {A::MenuOk};
      case Qt::Key_9: return {A::Lock};
      case Qt::Key_3: return {A::MenuMenu};
      case Qt::Key_1: return {A::MenuExit};
      case Qt::Key_7: return {A::Mute};
      case Qt::Key_4: return {A::MenuLeft};
      case Qt::Key_8: return {A::MenuUp};
      case Qt::Key_6: return {A::MenuRight};
      case Qt::Key_2: return {A::MenuDown};
      default: return {};
    }
  }
  // The digits and letters by their place, where the platform tells it.
  if (scan_code != 0) return binding_by_place(scan_code);
  switch (key) {
    case Qt::Key_1: case Qt::Key_2: case Qt::Key_3: case Qt::Key_4: case Qt::Key_5:
      return {A::Mode, key - Qt::Key_0};
    case Qt::Key_A: return {A::Output, 1};
    case Qt::Key_S: return {A::Output, 2};
    case Qt::Key_D: return {A::Output, 3};
    case Qt::Key_F: return {A::Output, 4};
    case Qt::Key_J: return {A::Input, 1};
    case Qt::Key_K: return {A::Input, 2};
    case Qt::Key_L: return {A::Input, 3};
    case Qt::Key_Semicolon: return {A::Input, 4};
    default: break;
  }
  if (shift) {
    // The same keys with Shift held, as a US layout reports them.
    switch (key) {
      case Qt::Key_Exclam: return {A::Mode, 1};
      case Qt::Key_At: return {A::Mode, 2};
      case Qt::Key_NumberSign: return {A::Mode, 3};
      case Qt::Key_Dollar: return {A::Mode, 4};
      case Qt::Key_Percent: return {A::Mode, 5};
      case Qt::Key_Colon: return {A::Input, 4};
      default: break;
    }
  }
  return {};
}

QCoro::Task<> KeypadControl::Form_KeyDown(int key, Qt::KeyboardModifiers modifiers, quint32 scan_code) {
  // Keys that come while the panel waits are dropped, not queued.
  if (device_.waiting()) co_return;
  const KeyBinding b = key_binding(key, modifiers, scan_code);
  bool arrow = false;
  switch (b.action) {
    case KeyAction::None: co_return;
    case KeyAction::MenuOk: co_await device_.press_menu_key(MenuKey::Ok); break;
    case KeyAction::Lock: co_await device_.toggle_lock(); break;
    case KeyAction::MenuMenu: co_await device_.press_menu_key(MenuKey::Menu); break;
    case KeyAction::MenuExit: co_await device_.press_menu_key(MenuKey::Exit); break;
    case KeyAction::Mute: co_await device_.toggle_audio(); break;
    case KeyAction::MenuLeft: co_await device_.press_menu_key(MenuKey::Left); arrow = true; break;
    case KeyAction::MenuUp: co_await device_.press_menu_key(MenuKey::Up); arrow = true; break;
    case KeyAction::MenuRight: co_await device_.press_menu_key(MenuKey::Right); arrow = true; break;
    case KeyAction::MenuDown: co_await device_.press_menu_key(MenuKey::Down); arrow = true; break;
    case KeyAction::Mode: co_await device_.set_mode(b.index); break;
    case KeyAction::Output: co_await device_.select_output(b.index); break;
    case KeyAction::Input: co_await device_.route_input(b.index); break;
  }
  // A held arrow key steps the device's menu at most once per exchange and pause.
  if (arrow) co_await device_.sleep(kArrowPauseMs);
}

}  // namespace quadrel
