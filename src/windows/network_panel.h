// The two window heights ("Advanced") and the device network settings ("Get IP").
#pragma once

#include <QObject>

#include "shell/piece.h"

namespace quadrel {

class NetworkPanel : public Piece {
 public:
  explicit NetworkPanel(FrmMain& main);

  // Switches the main window between its small and its tall size.
  void cmd_advance_Click();
  // Reads the device's IP address, subnet mask and gateway into their boxes,
  // stopping at the first query that gets no 15-character answer.
  void cmd_get_ip_Click();

  // The wait for one answer: 51 passes of the 2 ms pause.
  static constexpr int kAnswerWaitMs = 102;

 private:
  QObject ctx_;  // connections made for this piece end with it
};

}  // namespace quadrel
