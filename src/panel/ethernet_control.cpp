#include "panel/ethernet_control.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "link/endpoint.h"
#include "link/tcp_link.h"
#include "shell/widgets.h"

namespace quadrel {

namespace {

constexpr const char* kAlreadyConnected = "Ethernet is already connected!";
constexpr const char* kNoServer = "Client could not find Server.";
constexpr const char* kConnectionLost = "Ethernet is disconnected !";
constexpr int kConnectTimeoutMs = 7000;

}  // namespace

bool EthernetControl::parse_endpoint(const QString& text, QString* host, quint16* port) {
  return quadrel::parse_endpoint(text, host, port);
}

EthernetControl::EthernetControl(FrmMain& main) : Piece(main) {
  QObject::connect(c_.cmd_conn_eth, &QPushButton::clicked, c_.cmd_conn_eth, [this] { cmd_conn_eth_Click(); });
  QObject::connect(c_.cmd_disconn_eth, &QPushButton::clicked, c_.cmd_disconn_eth,
                   [this] { cmd_disconn_eth_Click(); });
  QObject::connect(c_.tim_eth, &QTimer::timeout, c_.tim_eth, [this] { tim_eth_Timer(); });
  QObject::connect(&main_.tcp_client(), &TcpLink::connected, c_.tim_eth, [this] { wsk_client_Connect(); });
  // Queued: the socket finishes its own work before the panel reacts (a
  // message box runs an event loop).
  QObject::connect(&main_.tcp_client(), &TcpLink::disconnected, c_.tim_eth, [this] { wsk_client_Close(); },
                   Qt::QueuedConnection);
  on_reply(code::EXT, [this] { rx_ext(); });
}

void EthernetControl::cmd_conn_eth_Click() {
  c_.cmd_conn_eth->setEnabled(false);
  if (!c_.tim_eth->isActive()) c_.tim_eth->start();

  TcpLink& client = main_.tcp_client();
  if (client.is_connected()) {
    main_.notifier().message(kAlreadyConnected, MessageIcon::Error);
    return;
  }
  set_back_color(c_.cmd_conn_eth, colour::olive);
  set_back_color(c_.cmd_disconn_eth, colour::idle_grey);
  QString host;
  quint16 port = kDevicePort;
  // An address that names no endpoint is not tried: the time-out reports it
  // like an address where nothing answers.
  if (parse_endpoint(c_.txt_ip->text(), &host, &port))
    client.connect_to(host, port);
  else
    client.close();
  c_.lab_eth_state->show();
}

void EthernetControl::wsk_client_Connect() {
  link_.state().eth_connected = true;
  // Connected: the time-out is over, and the socket tells when the connection ends.
  c_.tim_eth->stop();
  watching_ = true;
  c_.lab_eth_state->hide();
  set_back_color(c_.cmd_conn_eth, colour::routed_green);
  c_.cmd_disconn_eth->setEnabled(true);
  set_back_color(c_.cmd_disconn_eth, colour::idle_grey);
}

void EthernetControl::wsk_client_Close() {
  if (!watching_ || !link_.state().eth_connected || main_.tcp_client().is_connected()) return;
  watching_ = false;
  main_.notifier().message(kConnectionLost, MessageIcon::Error);
  cmd_disconn_eth_Click();
}

void EthernetControl::tim_eth_Timer() {
  TcpLink& client = main_.tcp_client();
  if (link_.state().eth_connected) return;  // connected meanwhile
  // The connect time-out has run out.
  // Closed before the message, so a connection made while it is shown cannot
  // outlive the time-out.
  c_.tim_eth->stop();
  if (!client.is_closed()) client.close();
  main_.notifier().message(kNoServer, MessageIcon::Error);
  c_.lab_eth_state->hide();
  c_.cmd_conn_eth->setEnabled(true);
  set_back_color(c_.cmd_conn_eth, colour::idle_grey);
  set_back_color(c_.cmd_disconn_eth, colour::busy_red);
}

void EthernetControl::cmd_disconn_eth_Click() {
  c_.tim_eth->stop();
  watching_ = false;
  main_.tcp_client().close();
  link_.state().eth_connected = false;
  c_.tim_eth->setInterval(kConnectTimeoutMs);
  c_.lab_eth_state->hide();
  c_.cmd_conn_eth->setEnabled(true);
  set_back_color(c_.cmd_conn_eth, colour::idle_grey);
  c_.cmd_disconn_eth->setEnabled(false);
  set_back_color(c_.cmd_disconn_eth, colour::busy_red);
}

void EthernetControl::rx_ext() { cmd_disconn_eth_Click(); }

}  // namespace quadrel
