// The Ethernet group: connecting to the device, watching the connection, EXT.
#pragma once

#include <QString>

#include "shell/piece.h"

namespace quadrel {

class EthernetControl : public Piece {
 public:
  explicit EthernetControl(FrmMain& main);

  void cmd_conn_eth_Click();
  void cmd_disconn_eth_Click();
  void wsk_client_Connect();
  void tim_eth_Timer();
  void rx_ext();

  static constexpr quint16 kDevicePort = 23;
  // The address box holds a host name or address, optionally with ":port"
  // ("[v6 address]:port" for IPv6). False when the text names no endpoint.
  static bool parse_endpoint(const QString& text, QString* host, quint16* port);
};

}  // namespace quadrel
