// The Input Labels window: the device's on-screen input labels on or off, and
// the four label texts.
#pragma once

#include <array>

#include <qcoro/qcorotask.h>

#include "ui/tool_window.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quadrel {

class Device;
class PanelHost;
class ShapeWidget;
struct PanelState;

class FrmLabel : public ToolWindow {
  Q_OBJECT
 public:
  FrmLabel(QWidget* owner, Device& device, PanelState& view, PanelHost& host);

  // Back to the state of a freshly loaded window: empty boxes, no option selected.
  void reset();

  void cmd_refresh_Click();
  void opt_on_off_Click(int index);
  // Enter in the box of input `index` (1..4) sends its label.
  void txt_lab_in_Enter(int index);

  QPushButton* cmd_refresh = nullptr;
  std::array<QRadioButton*, 2> opt_on_off{};   // 0 "OFF", 1 "ON"
  std::array<ShapeWidget*, 4> sha_lab_in{};
  std::array<QLabel*, 4> lab_no{};
  std::array<QLineEdit*, 5> txt_lab_in{};      // 1..4

  static constexpr int kClientWidth = 2745;
  static constexpr int kClientHeight = 2115;

 private:
  Device& device_;
  PanelState& ps_;
  PanelHost& host_;
};

}  // namespace quadrel
