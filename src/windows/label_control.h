// The Input Labels window and the LAB/LAI operations of the main window.
#pragma once


#include "shell/piece.h"
#include "windows/tool_window.h"

namespace quadrel {

class FrmLabel;

class LabelControl : public Piece {
 public:
  explicit LabelControl(FrmMain& main);
  ~LabelControl() override;

  // Opens the Input Labels window (placed above the main window, right edges
  // aligned) and reads it from the device; closes it.
  void Form_Load();
  void unload();

  // Reads the label display and the four labels, stopping at the first query
  // that gets no answer.
  void label_in_refresh();
  void label_in_set(const std::string& lab_in_str);
  void rx_lab();
  void rx_lai();

  FrmLabel* window() const;

 private:
  void Form_Unload();

  ToolWindowSlot<FrmLabel> window_;
};

}  // namespace quadrel
