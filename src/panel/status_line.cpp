#include "panel/status_line.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "link/serial_ports.h"
#include "link/tcp_link.h"
#include "panel/ethernet_control.h"
#include "panel/serial_control.h"
#include "shell/widgets.h"

namespace quadrel {

namespace {

// A command as the user knows it: without the terminator some commands carry.
QString shown_command(std::string_view tx_str) {
  QString text;
  for (char ch : tx_str)
    if (static_cast<unsigned char>(ch) >= 0x20 && static_cast<unsigned char>(ch) < 0x7f) text += QLatin1Char(ch);
  return text;
}

}  // namespace

StatusLine::StatusLine(FrmMain& main) : Piece(main) {
  auto* frame = new QFrame(&main_);
  frame->setObjectName(QStringLiteral("status_line"));
  frame->setFrameShape(QFrame::StyledPanel);
  frame->setFrameShadow(QFrame::Sunken);
  frame->setAutoFillBackground(true);  // covers what lies below the window's height
  frame->setAccessibleName(QStringLiteral("Status"));
  auto* layout = new QHBoxLayout(frame);
  layout->setContentsMargins(6, 1, 6, 1);
  layout->setSpacing(12);
  // The labels' text is their accessible name, so a change is announced as it is.
  notice_ = new QLabel(frame);
  notice_->setObjectName(QStringLiteral("lab_status"));
  notice_->setTextFormat(Qt::PlainText);
  notice_->setAccessibleDescription(QStringLiteral("Status"));
  link_label_ = new QLabel(frame);
  link_label_->setObjectName(QStringLiteral("lab_link"));
  link_label_->setTextFormat(Qt::PlainText);
  link_label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  link_label_->setAccessibleDescription(QStringLiteral("Link"));
  layout->addWidget(notice_, 1);
  layout->addWidget(link_label_, 0);
  line_ = frame;

  link_.on_exchange_end = [this](std::string_view tx_str, ExchangeOutcome outcome) {
    exchange_ended(tx_str, outcome);
  };

  // The link pieces change the link state in several steps; the line reads it
  // once they are done, from every place such a change starts.
  link_timer_.setSingleShot(true);
  link_timer_.setInterval(0);
  QObject::connect(&link_timer_, &QTimer::timeout, &ctx_, [this] { show_link(); });
  for (QRadioButton* option : c_.opt_interface)
    QObject::connect(option, &QRadioButton::toggled, &ctx_, [this] { link_changed(); });
  for (QPushButton* button : {c_.cmd_conn, c_.cmd_disconn, c_.cmd_conn_eth, c_.cmd_disconn_eth})
    QObject::connect(button, &QPushButton::clicked, &ctx_, [this] { link_changed(); });
  QObject::connect(c_.cbo_com, &QComboBox::activated, &ctx_, [this] { link_changed(); });
  QObject::connect(c_.tim_eth, &QTimer::timeout, &ctx_, [this] { link_changed(); });
  QTcpSocket& socket = main_.tcp_client().socket();
  QObject::connect(&socket, &QTcpSocket::stateChanged, &ctx_, [this] { link_changed(); });
  QObject::connect(&link_, &DeviceLink::serial_port_lost, &ctx_, [this] { link_changed(); });
  link_changed();
}

StatusLine::~StatusLine() { link_.on_exchange_end = nullptr; }

int StatusLine::height() const { return line_->sizeHint().height(); }

void StatusLine::notice(const QString& text, bool through_next_answer) {
  notice_->setText(text);
  keep_through_answer_ = through_next_answer;
}

QString StatusLine::notice_text() const { return notice_->text(); }

QString StatusLine::link_text() const { return link_label_->text(); }

void StatusLine::exchange_ended(std::string_view tx_str, ExchangeOutcome outcome) {
  const QString command = shown_command(tx_str);
  switch (outcome) {
    case ExchangeOutcome::Answered:
      // A command went through: what went wrong before is past.
      if (keep_through_answer_)
        keep_through_answer_ = false;
      else
        notice(QString());
      break;
    case ExchangeOutcome::DeviceError:
      notice(QStringLiteral("%1 refused by the device (ERR)").arg(command));
      break;
    case ExchangeOutcome::NoAnswer:
      notice(QStringLiteral("No answer to %1 on %2").arg(command, link_name()));
      break;
    case ExchangeOutcome::LinkClosed:
      notice(QStringLiteral("%1 not sent: not connected").arg(command));
      break;
    case ExchangeOutcome::Busy:
      notice(QStringLiteral("%1 not sent: another command was still waiting for its answer").arg(command));
      break;
    case ExchangeOutcome::LinkLost:
      notice(QStringLiteral("No answer to %1: the link to %2 closed").arg(command, link_name()));
      link_changed();
      break;
  }
}

QString StatusLine::link_name() const {
  const LinkState& st = link_.state();
  if (st.iface == 0) {
    const QString device = main_.serial_control().device_of(ps_.com_port);
    const QString port = QStringLiteral("COM%1").arg(ps_.com_port);
    return device.isEmpty() ? port : QStringLiteral("%1 (%2)").arg(port, device);
  }
  const QTcpSocket& socket = main_.tcp_client().socket();
  QString host = socket.peerName();
  quint16 port = socket.peerPort();
  if (host.isEmpty() || port == 0) {
    // Not connected: the address the user gave.
    if (!EthernetControl::parse_endpoint(c_.txt_ip->text(), &host, &port)) return QStringLiteral("Ethernet");
  }
  if (QHostAddress(host).protocol() == QAbstractSocket::IPv6Protocol)
    return QStringLiteral("[%1]:%2").arg(host).arg(port);
  return QStringLiteral("%1:%2").arg(host).arg(port);
}

void StatusLine::link_changed() { link_timer_.start(); }

void StatusLine::show_link() {
  const LinkState& st = link_.state();
  const bool serial = st.iface == 0;
  const bool connected = serial ? st.serial_open : st.eth_connected;
  QString text;
  if (connected)
    text = QStringLiteral("Connected to %1").arg(link_name());
  else if (!serial && c_.tim_eth->isActive())
    text = QStringLiteral("Connecting to %1").arg(link_name());
  else
    text = QStringLiteral("Not connected");
  link_label_->setText(text);
  // The green Connect button is the connected one, to assistive tools as well.
  c_.cmd_conn->setChecked(st.serial_open);
  c_.cmd_conn_eth->setChecked(st.eth_connected);
}

}  // namespace quadrel
