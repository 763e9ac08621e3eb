// The Input Labels window, and what it shows of the device.
#pragma once


#include "ui/piece.h"
#include "ui/tool_window.h"

namespace quadrel {

class FrmLabel;

class LabelControl : public Piece {
 public:
  explicit LabelControl(const PanelContext& context);
  ~LabelControl() override;

  // Opens the Input Labels window (placed above the main window, right edges
  // aligned) and reads it from the device; closes it.
  void Form_Load();
  void unload();

  void rx_lab();
  void rx_lai(int input);

  FrmLabel* window() const;

 private:
  void Form_Unload();

  ToolWindowSlot<FrmLabel> window_;
};

}  // namespace quadrel
