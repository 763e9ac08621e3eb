#include "panel/ethernet_control.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "link/endpoint.h"
#include "ui/widgets.h"

namespace quadrel {

namespace {
constexpr const char* kAlreadyConnected = "Ethernet is already connected!";
constexpr const char* kNoServer = "Client could not find Server.";
constexpr const char* kConnectionLost = "Ethernet is disconnected !";
}  // namespace

EthernetControl::EthernetControl(const PanelContext& context) : Piece(context) {
  QObject::connect(c_.cmd_conn_eth, &QPushButton::clicked, &ctx_, [this] { cmd_conn_eth_Click(); });
  QObject::connect(c_.cmd_disconn_eth, &QPushButton::clicked, &ctx_, [this] { cmd_disconn_eth_Click(); });
  QObject::connect(c_.tim_eth, &QTimer::timeout, &ctx_, [this] { tim_eth_Timer(); });
  QObject::connect(&device_, &Device::link_changed, &ctx_, [this] {
    if (device_.tcp_connected() && !shown_connected_) wsk_client_Connect();
  });
  // The connection ended without this side closing it: the device said
  // "EXT", restarts, or the connection dropped (which the user is told).
  QObject::connect(&device_, &Device::link_ended, &ctx_, [this](LinkEnd why, const QString& reason) {
    if (device_.iface() != 1) return;
    show_closed();
    // Thrown off by the hub on this machine: the user is told why, and where to go instead.
    if (why == LinkEnd::Lost)
      notifier_.message(device_.taken_by_hub()
                            ? (QString::fromLatin1(kConnectionLost) + QStringLiteral("\n\n") + reason).toStdString()
                            : std::string(kConnectionLost),
                        MessageIcon::Error);
  });
}

void EthernetControl::cmd_conn_eth_Click() {
  c_.cmd_conn_eth->setEnabled(false);
  if (!c_.tim_eth->isActive()) c_.tim_eth->start();
  if (device_.tcp_connected()) {
    notifier_.message(kAlreadyConnected, MessageIcon::Error);
    return;
  }
  set_back_color(c_.cmd_conn_eth, colour::olive);
  set_back_color(c_.cmd_disconn_eth, colour::idle_grey);
  QString host;
  quint16 port = kDevicePort;
  // An address that names no endpoint is not tried: the time-out reports it
  // like an address where nothing answers.
  if (!parse_endpoint(c_.txt_ip->text(), &host, &port)) host.clear();
  device_.connect_tcp(host, port);
  c_.lab_eth_state->show();
}

void EthernetControl::wsk_client_Connect() {
  shown_connected_ = true;
  // Connected: the time-out is over, and the device tells when the connection ends.
  c_.tim_eth->stop();
  c_.lab_eth_state->hide();
  set_back_color(c_.cmd_conn_eth, colour::routed_green);
  c_.cmd_disconn_eth->setEnabled(true);
  set_back_color(c_.cmd_disconn_eth, colour::idle_grey);
}

void EthernetControl::tim_eth_Timer() {
  if (device_.tcp_connected()) return;  // connected meanwhile
  // The connect time-out has run out. Closed before the message, so a
  // connection made while it is shown cannot outlive the time-out.
  c_.tim_eth->stop();
  device_.close_tcp();
  notifier_.message(kNoServer, MessageIcon::Error);
  c_.lab_eth_state->hide();
  c_.cmd_conn_eth->setEnabled(true);
  set_back_color(c_.cmd_conn_eth, colour::idle_grey);
  set_back_color(c_.cmd_disconn_eth, colour::busy_red);
}

void EthernetControl::cmd_disconn_eth_Click() {
  device_.close_tcp();
  show_closed();
}

void EthernetControl::show_closed() {
  shown_connected_ = false;
  c_.tim_eth->stop();
  c_.tim_eth->setInterval(kConnectTimeoutMs);
  c_.lab_eth_state->hide();
  c_.cmd_conn_eth->setEnabled(true);
  set_back_color(c_.cmd_conn_eth, colour::idle_grey);
  c_.cmd_disconn_eth->setEnabled(false);
  set_back_color(c_.cmd_disconn_eth, colour::busy_red);
}

}  // namespace quadrel
