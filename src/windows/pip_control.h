// The DUAL PiP window and the PPO/PSZ/PSW operations of the main window.
#pragma once


#include "shell/piece.h"
#include "windows/tool_window.h"

namespace quadrel {

class FrmPip;

class PipControl : public Piece {
 public:
  explicit PipControl(FrmMain& main);
  ~PipControl() override;

  // Opens the DUAL PiP window (placed above the main window) and reads it from
  // the device when it is in Dual PiP; closes it.
  void Form_Load();
  void unload();

  // Reads both positions and both sizes, stopping at the first query that
  // gets no answer.
  void dual_pip_refresh();
  void dual_pip_set(const std::string& pip_str);
  void rx_ppo();
  void rx_psz();
  void rx_psw();

  FrmPip* window() const;

  // Left edge of the window, measured from the main window's left edge (twips).
  static constexpr int kLeftOffset = 5385;

 private:
  void Form_Unload();

  ToolWindowSlot<FrmPip> window_;
};

}  // namespace quadrel
