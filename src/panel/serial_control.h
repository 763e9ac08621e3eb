// The serial port group: opening the chosen COM port, Connect and Disconnect.
#pragma once

#include "shell/piece.h"

namespace quadrel {

class SerialControl : public Piece {
 public:
  explicit SerialControl(FrmMain& main);

  void set_comm();
  void cbo_com_Click();
  void cmd_conn_Click();
  void cmd_disconn_Click();
};

}  // namespace quadrel
