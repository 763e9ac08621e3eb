#include "cli/session.h"

#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "link/serial_ports.h"

namespace quadrel::cli {

namespace {

void print_err(const QString& text) {
  std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
  std::fflush(stderr);
}

QString seconds(double s) { return QString::number(s, 'f', 1); }

}  // namespace

// The console of the exchange: a command goes into it followed by ">". It
// marks when each command went out, and copies it to stderr when verbose.
class Session::Clock : public quadrel::Console {
 public:
  explicit Clock(bool verbose) : verbose_(verbose) { sent_.start(); }
  void append(std::string_view text) override {
    if (text.empty() || text.back() != '>') return;
    sent_.restart();
    if (verbose_)
      print_err(QStringLiteral("> ") + QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size() - 1)));
  }
  void clear() override {}
  double since_sent_s() const { return sent_.elapsed() / 1000.0; }

 private:
  bool verbose_;
  QElapsedTimer sent_;
};

// What the link would show in a message box.
class Session::Notifier : public quadrel::Notifier {
 public:
  explicit Notifier(Session& s) : s_(s) {}
  void message(const std::string& text, MessageIcon) override { s_.notice_ = QString::fromStdString(text); }

 private:
  Session& s_;
};

Session::Session(QString command, LinkTarget target, bool verbose, double limit_s)
    : command_(std::move(command)),
      target_(target),
      verbose_(verbose),
      limit_s_(limit_s),
      opener_(device_, std::move(target)),
      notifier_(std::make_unique<Notifier>(*this)),
      clock_(std::make_unique<Clock>(verbose)) {
  run_.start();
  // A run's commands read what they change themselves (a mode change, a
  // recall); nothing more is sent behind them, and a watch only listens.
  device_.set_follow_ups_automatic(false);
  device_.set_notifier(notifier_.get());
  device_.set_console(clock_.get());
  connect(&device_, &Device::link_ended, this, [this](LinkEnd, const QString& reason) {
    lost_reason_ = reason;
    if (verbose_) print_err(reason);
  });
  if (verbose_) {
    connect(&device_, &Device::line_received, this,
            [](const QByteArray& line) { print_err(QStringLiteral("< ") + QString::fromLatin1(line)); });
  }
  if (limit_s_ > 0) {
    // Every wait of the link ends at once, and nothing more is sent.
    deadline_.setSingleShot(true);
    deadline_.setTimerType(Qt::PreciseTimer);
    connect(&deadline_, &QTimer::timeout, this, [this] {
      timed_out_ = true;
      device_.shut_down();
      emit ended();
    });
    deadline_.start(static_cast<int>(limit_s_ * 1000));
  }
}

Session::~Session() {
  device_.close_tcp();
  device_.close_serial();
}

int Session::within_limit(int ms) const {
  if (limit_s_ <= 0) return ms;
  const qint64 left = static_cast<qint64>(limit_s_ * 1000) - run_.elapsed();
  return static_cast<int>(std::clamp<qint64>(left, 0, ms));
}

void Session::interrupt() {
  interrupted_ = true;
  device_.shut_down();
  emit ended();
}

QCoro::Task<bool> Session::open_once(int limit_ms, QString* why) {
  why->clear();
  bool done = false;
  const auto on_fail = connect(&opener_, &LinkOpener::failed, this, [this, why, &done](const QString& reason) {
    *why = reason;
    done = true;
    device_.poke();
  });
  opener_.open();
  if (!done && !device_.link_open()) co_await device_.until([&] { return done || device_.link_open(); }, limit_ms);
  disconnect(on_fail);
  if (device_.link_open()) co_return true;
  opener_.stop();
  if (why->isEmpty()) *why = QStringLiteral("no connection within %1 s").arg(seconds(limit_ms / 1000.0));
  co_return false;
}

QCoro::Task<bool> Session::open() {
  QString why;
  const bool opened = co_await open_once(within_limit(LinkOpener::kConnectLimitMs), &why);
  if (opened) co_return true;
  if (!target_.tcp) {
    error(QStringLiteral("cannot open the port: ") + why);
    // The panel's advice for a device the user may not open, on lines of their own.
    const QString advice = serial_open_advice(target_.device, why).section(QLatin1Char('\n'), 1);
    if (!advice.isEmpty()) print_err(advice);
    co_return false;
  }
  error(QStringLiteral("cannot connect: ") + (timed_out_ ? timeout_reason() : why));
  co_return false;
}

QCoro::Task<bool> Session::reopen(double limit_s) {
  const int limit_ms = within_limit(static_cast<int>(limit_s * 1000));
  if (timed_out_ || interrupted_ || limit_ms <= 0) co_return false;
  opener_.keep_open();
  co_await device_.until([this] { return device_.link_open() || timed_out_ || interrupted_; }, limit_ms);
  const bool opened = device_.link_open();
  opener_.stop();
  if (opened) lost_reason_.clear();
  co_return opened;
}

QCoro::Task<bool> Session::await_device(double limit_s) {
  QElapsedTimer waiting;
  waiting.start();
  auto left_s = [&] { return limit_s - waiting.elapsed() / 1000.0; };
  const std::string query = query_command(row_of(Aspect::Power));
  while (!timed_out_ && !interrupted_ && left_s() > 0) {
    if (!device_.link_open()) {
      const bool reopened = co_await reopen(left_s());
      if (!reopened) co_return false;
    }
    const ExchangeOutcome outcome = co_await device_.exchange(query);
    if (outcome == ExchangeOutcome::Answered) co_return true;
    // Not yet: a device that is starting may take the command without answering.
    if (device_.link_open())
      co_await device_.sleep(static_cast<int>(std::min(0.25, std::max(left_s(), 0.0)) * 1000) + 1);
  }
  co_return false;
}

double Session::waited_s() const { return clock_->since_sent_s(); }

QString Session::timeout_reason() const {
  return QStringLiteral("the run's time limit (--timeout %1 s) ran out after %2 s")
      .arg(limit_s_)
      .arg(seconds(run_.elapsed() / 1000.0));
}

void Session::error(const QString& reason) const {
  print_err(QStringLiteral("quadrel-cli: %1: %2: %3").arg(command_, target_.describe(), reason));
}

int Session::fail(std::string_view command, ExchangeOutcome outcome, double waited) const {
  const QString what = QString::fromLatin1(command.data(), static_cast<qsizetype>(command.size()))
                           .remove(QLatin1Char('\r'));
  if (timed_out_) {
    error(what + QStringLiteral(": ") + timeout_reason());
    return exit_code::NoAnswer;
  }
  error(what + QStringLiteral(": ") +
        outcome_reason(outcome, waited < 0 ? waited_s() : waited, lost_reason_.isEmpty() ? notice_ : lost_reason_));
  return exit_code_of(outcome);
}

}  // namespace quadrel::cli
