// The DUAL PiP window: size, corner and swap of the two picture-in-picture windows.
#pragma once

#include <array>

#include <qcoro/qcorotask.h>

#include "ui/tool_window.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace quadrel {

class Device;
class ShapeWidget;
struct PanelState;

class FrmPip : public ToolWindow {
  Q_OBJECT
 public:
  FrmPip(QWidget* owner, Device& device, PanelState& view);

  // Back to the state of a freshly loaded window: lists filled with nothing
  // selected, every corner grey.
  void reset();

  void cmd_refresh_Click();
  void cbo_a_size_Click();
  void cbo_b_size_Click();
  void cmd_a_pos_Click(int index);
  void cmd_b_pos_Click(int index);
  void cmd_a_swap_Click();
  void cmd_b_swap_Click();

  QPushButton* cmd_refresh = nullptr;
  QLabel* lab_a = nullptr;
  QLabel* lab_b = nullptr;
  QPushButton* cmd_a_swap = nullptr;
  QPushButton* cmd_b_swap = nullptr;
  QComboBox* cbo_a_size = nullptr;
  QComboBox* cbo_b_size = nullptr;
  ShapeWidget* sha_a = nullptr;
  ShapeWidget* sha_b = nullptr;
  std::array<QPushButton*, 4> cmd_a_pos{};  // 0 upper left, 1 upper right, 2 lower right, 3 lower left
  std::array<QPushButton*, 4> cmd_b_pos{};

  static constexpr int kClientWidth = 3315;
  static constexpr int kClientHeight = 1785;

 private:
  QCoro::Task<> size_click(QComboBox* list, int pip);
  void fill_lists();
  Device& device_;
  PanelState& ps_;
};

}  // namespace quadrel
