#include "cli/session.h"

#include <QAbstractSocket>
#include <QSerialPort>
#include <cstdio>

#include "link/core/catalogue.h"
#include "link/serial_ports.h"

namespace quadrel::cli {

namespace {

constexpr int kConnectTimeoutMs = 7000;  // the panel's connect time-out
constexpr int kLateReplyMs = 5000;       // the extra wait after a mode change or a preset
constexpr int kNetAnswerMs = 102;        // 51 passes of the 2 ms wait, as for "Get IP"
constexpr int kRebootReplyMs = 1000;     // a restarting device still answers this long

void print_err(const QString& text) {
  std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
  std::fflush(stderr);
}

}  // namespace

QString LinkTarget::describe() const {
  if (!tcp) return QStringLiteral("serial ") + device;
  const QString h = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
  return QStringLiteral("tcp %1:%2").arg(h).arg(port);
}

int exit_code_of(ExchangeOutcome outcome) {
  switch (outcome) {
    case ExchangeOutcome::Answered: return exit_code::Done;
    case ExchangeOutcome::DeviceError: return exit_code::Refused;
    case ExchangeOutcome::NoAnswer: return exit_code::NoAnswer;
    default: return exit_code::LinkError;
  }
}

// The traffic console: no window here; complete lines are handed on, and
// copied to stderr when asked for.
class Session::Console : public quadrel::Console {
 public:
  explicit Console(Session& s) : s_(s) {}
  void append(std::string_view text) override { s_.on_console(text); }
  void clear() override {}

 private:
  Session& s_;
};

// What the link core would show in a message box.
class Session::Notifier : public quadrel::Notifier {
 public:
  explicit Notifier(Session& s) : s_(s) {}
  void message(const std::string& text, MessageIcon) override { s_.notice_ = QString::fromStdString(text); }

 private:
  Session& s_;
};

Session::Session(QString command, LinkTarget target, bool verbose)
    : command_(std::move(command)),
      target_(std::move(target)),
      verbose_(verbose),
      console_(std::make_unique<Console>(*this)),
      notifier_(std::make_unique<Notifier>(*this)) {
  link_.set_console(console_.get());
  link_.set_notifier(notifier_.get());
  link_.set_serial(&serial_);
  link_.set_tcp(&tcp_);
  // Every reply the link dispatches goes into the model.
  for (const auto& entry : link_.table().entries()) {
    if (entry.code == code::EXT) continue;
    link_.table().set(entry.code, [this] { model_.apply(link_.rx_buf()); });
  }
  link_.table().set(code::EXT, [this] { mark_lost(QStringLiteral("the device ended the connection (EXT)")); });
  // After "PWR001" or "RST001" over TCP the device restarts and drops the
  // connection: its reply is awaited a moment, then this side closes too.
  link_.on_ethernet_reboot = [this] {
    link_.wait_until([this] { return link_.state().rx_flag; }, kRebootReplyMs);
    if (verbose_) print_err(QStringLiteral("the device restarts; connect again once it is ready"));
    mark_lost(QStringLiteral("the device restarts; connect again once it is ready"));
  };
  link_.on_serial_lost = [this] { mark_lost(QStringLiteral("the serial port stopped sending")); };
}

Session::~Session() {
  tcp_.close();
  serial_.close();
}

bool Session::open() {
  LinkState& st = link_.state();
  if (!target_.tcp) {
    QString why;
    if (!serial_.open(target_.device, &why)) {
      error(QStringLiteral("cannot open the port: ") + why);
      // The panel's advice for a device the user may not open, on lines of their own.
      const QString advice = serial_open_advice(target_.device, why).section(QLatin1Char('\n'), 1);
      if (!advice.isEmpty()) print_err(advice);
      return false;
    }
    connect(&serial_.port(), &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
      if (e == QSerialPort::NoError || e == QSerialPort::UnsupportedOperationError ||
          e == QSerialPort::TimeoutError)
        return;
      mark_lost(serial_.port().errorString());
    });
    st.iface = 0;
    st.serial_open = true;
    link_.reset_exchange();
    link_.set_tim_rx_enabled(true);
    return true;
  }

  bool connected = false;
  QString why;
  QAbstractSocket& socket = tcp_.socket();
  const auto on_connect = connect(&tcp_, &TcpLink::connected, this, [&connected] { connected = true; });
  const auto on_error = connect(&socket, &QAbstractSocket::errorOccurred, this,
                                [&why, &socket] { why = socket.errorString(); });
  tcp_.connect_to(target_.host, target_.port);
  link_.wait_until([&] { return connected || !why.isEmpty(); }, kConnectTimeoutMs);
  disconnect(on_connect);
  disconnect(on_error);
  if (!connected) {
    tcp_.close();
    error(QStringLiteral("cannot connect: ") + (why.isEmpty() ? QStringLiteral("no connection within 7 s") : why));
    return false;
  }
  socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
  // What the device said before it closed (its "EXT", say) is handled first.
  connect(&socket, &QAbstractSocket::disconnected, this, [this] {
    link_.wsk_client_DataArrival();
    mark_lost(QStringLiteral("the device closed the connection"));
  });
  st.iface = 1;
  st.eth_connected = true;
  link_.reset_exchange();
  return true;
}

bool Session::link_open() const {
  const LinkState& st = link_.state();
  return st.iface == 0 ? st.serial_open : st.eth_connected;
}

void Session::mark_lost(const QString& reason) {
  if (!link_open()) return;
  lost_reason_ = reason;
  LinkState& st = link_.state();
  if (st.iface == 1) {
    st.eth_connected = false;
    tcp_.close();
  } else {
    st.serial_open = false;
    // Closed once the port's own signal has returned.
    QMetaObject::invokeMethod(this, [this] { serial_.close(); }, Qt::QueuedConnection);
  }
  emit link_lost();
}

void Session::on_console(std::string_view text) {
  if (!text.empty() && text.back() == '>') {
    if (verbose_) print_err(QStringLiteral("> ") + QString::fromLatin1(text.data(), text.size() - 1));
    return;
  }
  // Received text is echoed with one space after it; only a line with its
  // carriage return is complete (the serial path also echoes partial lines).
  if (text.size() < 2 || text.substr(text.size() - 2) != "\r ") return;
  std::string line(text.substr(0, text.size() - 2));
  if (verbose_) print_err(QStringLiteral("< ") + QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
  const std::string_view code = reply::code_of(line);
  if (!awaited_code_.empty() && awaited_seen_.empty() && (code == awaited_code_ || code == code::ERR))
    awaited_seen_ = std::string(code);
  last_line_ = line;
  ++lines_seen_;
  if (on_line) on_line(last_line_);
}

ExchangeOutcome Session::exchange(std::string_view command) {
  link_.tx_cmd(command);
  return link_.state().last_outcome;
}

ExchangeOutcome Session::late_reply(std::string_view code) {
  awaited_code_ = std::string(code);
  awaited_seen_.clear();
  link_.wait_until([this] { return !awaited_seen_.empty() || !link_open(); }, kLateReplyMs);
  const std::string seen = std::exchange(awaited_seen_, {});
  awaited_code_.clear();
  if (seen == code) return ExchangeOutcome::Answered;
  if (seen == code::ERR) return ExchangeOutcome::DeviceError;
  return link_open() ? ExchangeOutcome::NoAnswer : ExchangeOutcome::LinkLost;
}

ExchangeOutcome Session::network_query(int which) {
  static constexpr std::string_view kCodes[] = {code::EIP, code::EMK, code::EGW};
  if (which < 0 || which > 2) return ExchangeOutcome::NoAnswer;
  if (!link_open()) return ExchangeOutcome::LinkClosed;
  LinkState& st = link_.state();
  const std::string query = cmd::query(kCodes[which]);
  if (verbose_) print_err(QStringLiteral("> ") + QString::fromStdString(query));
  // The answer is a bare address without a code; a refusal still says "ERR".
  awaited_code_ = std::string(code::ERR);
  awaited_seen_.clear();
  st.getip_state = which;
  link_.tx_nowait(query);
  link_.wait_until([&] { return st.getip_state == 3 || !awaited_seen_.empty() || !link_open(); }, kNetAnswerMs);
  ExchangeOutcome outcome = ExchangeOutcome::NoAnswer;
  if (st.getip_state == 3) {
    model_.apply_network(which, link_.take_net_answer());
    outcome = ExchangeOutcome::Answered;
  } else if (!link_open()) {
    outcome = ExchangeOutcome::LinkLost;
  } else if (!awaited_seen_.empty()) {
    outcome = ExchangeOutcome::DeviceError;
  }
  awaited_code_.clear();
  awaited_seen_.clear();
  st.getip_state = 254;
  link_.resume_input();
  return outcome;
}

double Session::answer_limit_s() const { return target_.tcp ? 1.2 : 0.6; }

void Session::error(const QString& reason) const {
  print_err(QStringLiteral("quadrel-cli: %1: %2: %3").arg(command_, target_.describe(), reason));
}

int Session::fail(std::string_view command, ExchangeOutcome outcome) const {
  const QString what = QString::fromLatin1(command.data(), static_cast<qsizetype>(command.size()))
                           .remove(QLatin1Char('\r'));
  QString reason;
  switch (outcome) {
    case ExchangeOutcome::Answered: return exit_code::Done;
    case ExchangeOutcome::DeviceError: reason = QStringLiteral("refused by the device (ERR)"); break;
    case ExchangeOutcome::NoAnswer:
      reason = QStringLiteral("no answer within %1 s").arg(answer_limit_s());
      break;
    case ExchangeOutcome::Busy: reason = QStringLiteral("another exchange is under way"); break;
    case ExchangeOutcome::LinkClosed:
    case ExchangeOutcome::LinkLost:
      reason = !lost_reason_.isEmpty() ? lost_reason_
               : !notice_.isEmpty()    ? notice_
                                       : QStringLiteral("the link is closed");
      break;
  }
  error(what + QStringLiteral(": ") + reason);
  return exit_code_of(outcome);
}

}  // namespace quadrel::cli
