// The keyboard window: a legend of the keys; a key press acts like a click on
// one of the main window's buttons or map cells.
#pragma once

#include <functional>

#include "windows/tool_window.h"

class QLabel;
class QKeyEvent;

namespace quadrel {

class FrmKeypad : public ToolWindow {
  Q_OBJECT
 public:
  explicit FrmKeypad(QWidget* owner);

  // Receives every key press (`Form_KeyDown`).
  std::function<void(QKeyEvent*)> on_key_down;

  QLabel* img_keypad = nullptr;
  // Whether the legend picture was found; without it a text legend is shown.
  bool legend_picture_loaded() const { return picture_loaded_; }

  static constexpr int kClientWidth = 5295;
  static constexpr int kClientHeight = 1680;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool picture_loaded_ = false;
};

}  // namespace quadrel
