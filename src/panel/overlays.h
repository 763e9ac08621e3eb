// The P and L indicators on the map that open and close two tool windows.
#pragma once

#include <QObject>

#include "shell/piece.h"

namespace quadrel {

class ClickLabel;
class ShapeWidget;

class Overlays : public Piece {
 public:
  explicit Overlays(FrmMain& main);

  // Each click opens the indicator's window, or closes it when it is open;
  // the circle is red while the click is handled and grey afterwards.
  void lab_pip_Click();
  void lab_lab_input_Click();

 private:
  void busy(ClickLabel* label, ShapeWidget* shape);
  void idle(ClickLabel* label, ShapeWidget* shape);
  QObject ctx_;  // connections made for this piece end with it
};

}  // namespace quadrel
