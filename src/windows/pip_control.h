// The DUAL PiP window, and what it shows of the device.
#pragma once


#include "ui/piece.h"
#include "ui/tool_window.h"

namespace quadrel {

class FrmPip;

class PipControl : public Piece {
 public:
  explicit PipControl(const PanelContext& context);
  ~PipControl() override;

  // Opens the DUAL PiP window (placed above the main window) and reads it from
  // the device when it is in Dual PiP; closes it.
  void Form_Load();
  void unload();

  void rx_ppo(int pip);
  void rx_psz(int pip);

  FrmPip* window() const;

  // Left edge of the window, measured from the main window's left edge (twips).
  static constexpr int kLeftOffset = 5385;

 private:
  void Form_Unload();

  ToolWindowSlot<FrmPip> window_;
};

}  // namespace quadrel
