// The HDCP window: HDCP on or off per input, and per output whether HDCP
// follows the input or the output.
#pragma once

#include <array>

#include <qcoro/qcorotask.h>

#include "ui/tool_window.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace quadrel {

class Device;
struct PanelState;

class FrmHdcp : public ToolWindow {
  Q_OBJECT
 public:
  FrmHdcp(QWidget* owner, Device& device, PanelState& view);

  // Back to the state of a freshly loaded window: no button selected.
  void reset();

  QCoro::Task<> cmd_refresh_Click();
  // Input n (1..4): index 0 HDCP on, 1 HDCP off.
  void opt_hdcp_in_Click(int input, int index);
  // Output n (1..4, A..D): index 0 follow input, 1 follow output.
  void opt_hdcp_out_Click(int output, int index);

  QPushButton* cmd_refresh = nullptr;
  QGroupBox* fra_hdcp_input = nullptr;
  QGroupBox* fra_hdcp_output = nullptr;
  std::array<QLabel*, 3> lab_hdcp_input{};
  std::array<QLabel*, 3> lab_hdcp_output{};
  std::array<QWidget*, 8> fra_i{};
  // [input 1..4][index 0..1] of `opt_hdcp_in1` .. `opt_hdcp_in4`; element 0 unused.
  std::array<std::array<QRadioButton*, 2>, 5> opt_hdcp_in{};
  // [output 1..4][index 0..1] of `opt_hdcp_out1` .. `opt_hdcp_out4`; element 0 unused.
  std::array<std::array<QRadioButton*, 2>, 5> opt_hdcp_out{};

  static constexpr int kClientWidth = 8115;
  static constexpr int kClientHeight = 1590;

 private:
  Device& device_;
  PanelState& ps_;
};

}  // namespace quadrel
