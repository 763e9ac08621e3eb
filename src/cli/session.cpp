#include "cli/session.h"

#include <cstdio>

#include "link/core/catalogue.h"

namespace quadrel::cli {

namespace {

constexpr int kConnectTimeoutMs = 7000;  // the panel's connect time-out

void print_err(const QString& text) {
  std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
  std::fflush(stderr);
}

QString latin1(const QByteArray& line) { return QString::fromLatin1(line); }

}  // namespace

QString LinkTarget::describe() const {
  if (!tcp) return QStringLiteral("serial ") + device;
  const QString h = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
  return QStringLiteral("tcp %1:%2").arg(h).arg(port);
}

// The console of the exchange: a command goes into it followed by ">".
class Session::VerboseConsole : public quadrel::Console {
 public:
  void append(std::string_view text) override {
    if (!text.empty() && text.back() == '>')
      print_err(QStringLiteral("> ") + QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size() - 1)));
  }
  void clear() override {}
};

// What the link would show in a message box.
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
      notifier_(std::make_unique<Notifier>(*this)) {
  device_.set_notifier(notifier_.get());
  connect(&device_, &Device::link_ended, this, [this](LinkEnd, const QString& reason) {
    lost_reason_ = reason;
    if (verbose_) print_err(reason);
  });
  if (verbose_) {
    // The traffic: each command as it goes out, each line as it comes in.
    console_ = std::make_unique<VerboseConsole>();
    device_.set_console(console_.get());
    connect(&device_, &Device::line_received, this,
            [](const QByteArray& line) { print_err(QStringLiteral("< ") + latin1(line)); });
  }
}

Session::~Session() {
  device_.close_tcp();
  device_.close_serial();
}

bool Session::open() {
  if (!target_.tcp) {
    device_.use_interface(0);
    QString why;
    if (!device_.open_serial(target_.device, target_.device, &why)) {
      error(QStringLiteral("cannot open the port: ") + why);
      return false;
    }
    return true;
  }

  device_.use_interface(1);
  QString why;
  const auto on_fail = connect(&device_, &Device::connect_failed, this, [&why](const QString& reason) { why = reason; });
  device_.connect_tcp(target_.host, target_.port);
  device_.wait_until([&] { return device_.tcp_connected() || !why.isEmpty(); }, kConnectTimeoutMs);
  disconnect(on_fail);
  if (!device_.tcp_connected()) {
    device_.close_tcp();
    error(QStringLiteral("cannot connect: ") + (why.isEmpty() ? QStringLiteral("no connection within 7 s") : why));
    return false;
  }
  return true;
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
