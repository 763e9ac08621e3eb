// Factory reset, and the warning when a command restarts the device over Ethernet.
#pragma once

#include "ui/piece.h"

namespace quadrel {

class ResetReboot : public Piece {
 public:
  explicit ResetReboot(const PanelContext& context);

  void cmd_fact_reset_Click();
  // The device restarts after the command just sent and drops the connection.
  void ethernet_reboot();
};

}  // namespace quadrel
