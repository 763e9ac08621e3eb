// The keyboard window: a legend of the keys; a key press acts like a click on
// one of the main window's buttons or map cells.
#pragma once

#include <functional>

#include "ui/tool_window.h"

class QLabel;
class QKeyEvent;

namespace quadrel {

class FrmKeypad : public ToolWindow {
  Q_OBJECT
 public:
  explicit FrmKeypad(QWidget* owner);

  // Receives every key press (`Form_KeyDown`).
  std::function<void(QKeyEvent*)> on_key_down;

  // The legend, drawn large enough to be read at a glance; its text is also
  // its accessible description.
  QLabel* img_keypad = nullptr;
  // The smallest text of the legend, in pixels.
  static int legend_text_pixels();

  // Half as large again as the window's first design, so that the legend's
  // words and key letters are legible.
  static constexpr int kClientWidth = 7950;
  static constexpr int kClientHeight = 2520;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace quadrel
