// The two window heights ("Advanced") and the device network settings ("Get IP").
#pragma once

#include "ui/piece.h"

class QLineEdit;

namespace quadrel {

class NetworkPanel : public Piece {
 public:
  explicit NetworkPanel(const PanelContext& context);

  // Switches the main window between its small and its tall size.
  void cmd_advance_Click();
  // Reads the device's IP address, subnet mask and gateway into their boxes,
  // stopping at the first query that gets no 15-character answer.
  QCoro::Task<> cmd_get_ip_Click();

  // The main window's two outer heights, in twips.
  static constexpr int kSmallHeight = 2640;
  static constexpr int kAdvancedHeight = 6780;

 private:
  QLineEdit* box_of(int which) const;
};

}  // namespace quadrel
