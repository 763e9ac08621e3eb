// The P and L indicators on the map that open and close two tool windows.
#pragma once

#include "ui/piece.h"

namespace quadrel {

class ClickLabel;
class ShapeWidget;

class Overlays : public Piece {
 public:
  explicit Overlays(const PanelContext& context);

  // Each click opens the indicator's window, or closes it when it is open;
  // the circle is red while the click is handled and grey afterwards.
  void lab_pip_Click() { toggle(ToolKind::Pip, ps_.pip_open, c_.lab_pip, c_.sha_pip); }
  void lab_lab_input_Click() { toggle(ToolKind::Labels, ps_.label_open, c_.lab_lab_input, c_.sha_lab_in); }

 private:
  QCoro::Task<> toggle(ToolKind tool, bool open, ClickLabel* label, ShapeWidget* shape);
  // The longest the indicator stays red for a window's reads.
  static constexpr int kOpeningLimitMs = 10000;
};

}  // namespace quadrel
