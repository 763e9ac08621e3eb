// The Ethernet group: connecting to the device, watching the connection, EXT.
// `tim_eth` is the connect time-out only; a lost connection is learnt from the
// socket's own events, so nothing runs while the connection idles.
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
  // The connection ended without the panel closing it.
  void wsk_client_Close();
  void tim_eth_Timer();
  // The connection is about to end on purpose (the device reboots): its end
  // is not reported as a fault.
  void stop_watch() { watching_ = false; }
  void rx_ext();

  static constexpr quint16 kDevicePort = 23;
  // The address box holds a host name or address, optionally with ":port"
  // ("[v6 address]:port" for IPv6). False when the text names no endpoint.
  static bool parse_endpoint(const QString& text, QString* host, quint16* port);

 private:
  bool watching_ = false;  // a lost connection is reported
};

}  // namespace quadrel
