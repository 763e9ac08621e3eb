// Factory reset, the RST reply, and the warning when a command restarts the device over Ethernet.
#pragma once

#include "shell/piece.h"

namespace quadrel {

class ResetReboot : public Piece {
 public:
  explicit ResetReboot(FrmMain& main);

  void cmd_fact_reset_Click();
  void rx_rst();
  void ethernet_reboot();
};

}  // namespace quadrel
