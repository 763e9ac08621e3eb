// One run of the client on one link: opening it, the device, the run's time limit and error lines.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <string_view>

#include "link/device.h"
#include "link/exit_code.h"
#include "link/link_opener.h"

namespace quadrel::cli {

using quadrel::LinkTarget;

class Session : public QObject {
  Q_OBJECT
 public:
  // `command` names the subcommand in error lines; `verbose` copies the
  // traffic to stderr; `limit_s` bounds the whole run (0: no bound).
  Session(QString command, LinkTarget target, bool verbose, double limit_s);
  ~Session() override;

  // Opens the link (a TCP connection within LinkOpener::kConnectLimitMs, like
  // the panel's). On failure the error line is printed and false returned.
  QCoro::Task<bool> open();
  bool link_open() const { return device_.link_open(); }
  // Opens the link again after it closed, trying with the opener's growing
  // pauses until it opens or `limit_s` (or the run's limit) has passed;
  // prints nothing.
  QCoro::Task<bool> reopen(double limit_s);
  // After a restart (power on): returns once the device answers "PWR999"
  // again, over a link opened anew when it closed, or false after `limit_s`.
  QCoro::Task<bool> await_device(double limit_s);

  Device& device() { return device_; }
  const DeviceState& state() const { return device_.state(); }
  const LinkTarget& target() const { return target_; }

  // One exchange (`tx_cmd`); the reply updates the model.
  QCoro::Task<ExchangeOutcome> exchange(std::string command) { return device_.exchange(std::move(command)); }

  // Prints "quadrel-cli: <command>: <link>: <reason>" on stderr.
  void error(const QString& reason) const;
  // Reports an exchange that did not end with its answer, with the time
  // really waited for it (by default: since the last command went out);
  // returns its exit code.
  int fail(std::string_view command, ExchangeOutcome outcome, double waited_s = -1) const;
  // Seconds since the last command went out.
  double waited_s() const;
  // Why the link closed while it was in use (empty while it is open).
  const QString& lost_reason() const { return lost_reason_; }
  // The run's time limit has run out: every wait has ended, nothing more is sent.
  bool timed_out() const { return timed_out_; }
  // Ends the run from outside (a signal): every wait ends at once, nothing more is sent.
  void interrupt();
  bool interrupted() const { return interrupted_; }
  // Seconds left of the run's limit, at most `at_most`.
  double time_left_s(double at_most) const { return within_limit(static_cast<int>(at_most * 1000)) / 1000.0; }
  // "the run's time limit (--timeout 5 s) ran out after 5.0 s".
  QString timeout_reason() const;

 signals:
  // The run's time limit ran out, or it was interrupted.
  void ended();

 private:
  class Notifier;
  class Clock;

  // One try of the opener, for at most `limit_ms`; false with the reason.
  QCoro::Task<bool> open_once(int limit_ms, QString* why);
  // The milliseconds left of the run's limit, at most `ms`.
  int within_limit(int ms) const;

  QString command_;
  LinkTarget target_;
  bool verbose_;
  double limit_s_;
  Device device_;
  LinkOpener opener_;
  std::unique_ptr<Notifier> notifier_;
  std::unique_ptr<Clock> clock_;
  QElapsedTimer run_;
  QTimer deadline_;
  bool timed_out_ = false;
  bool interrupted_ = false;
  QString lost_reason_;
  QString notice_;  // the last message the link gave
};

}  // namespace quadrel::cli
