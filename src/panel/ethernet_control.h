// The Ethernet group: connecting to the device, and what the group shows of
// the connection. `tim_eth` is the connect time-out only; the device tells
// when a connection ends.
#pragma once

#include "link/link_opener.h"
#include "ui/piece.h"

namespace quadrel {

class EthernetControl : public Piece {
 public:
  explicit EthernetControl(const PanelContext& context);

  void cmd_conn_eth_Click();
  void cmd_disconn_eth_Click();
  // The device accepted the connection.
  void wsk_client_Connect();
  void tim_eth_Timer();

  // The panel's connect time-out is every front end's (`tim_eth`).
  static constexpr int kConnectTimeoutMs = LinkOpener::kConnectLimitMs;

 private:
  // The group as it is without a connection: Connect usable, Disconnect red.
  void show_closed();
  bool shown_connected_ = false;
};

}  // namespace quadrel
