// One run of the client on one link: opening it, the device, and error lines.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <string_view>

#include "link/device.h"
#include "link/exit_code.h"

namespace quadrel::cli {

// Where the link goes.
struct LinkTarget {
  bool tcp = false;
  QString device;       // serial: the device path
  QString host;         // TCP
  quint16 port = 23;

  // "serial /dev/ttyUSB0", "tcp 192.168.1.100:23".
  QString describe() const;
};

class Session : public QObject {
  Q_OBJECT
 public:
  // `command` names the subcommand in error lines; `verbose` copies the traffic to stderr.
  Session(QString command, LinkTarget target, bool verbose);
  ~Session() override;

  // Opens the link (the TCP connection is given 7 s, like the panel's). On
  // failure the error line is printed and false returned.
  bool open();
  bool link_open() const { return device_.link_open(); }

  Device& device() { return device_; }
  const DeviceState& state() const { return device_.state(); }

  // One exchange (`tx_cmd`); the reply updates the model.
  ExchangeOutcome exchange(std::string_view command) { return device_.exchange(command); }

  // Prints "quadrel-cli: <command>: <link>: <reason>" on stderr.
  void error(const QString& reason) const;
  // Reports an exchange that did not end with its answer; returns its exit code.
  int fail(std::string_view command, ExchangeOutcome outcome) const;
  // Why the link closed while it was in use (empty while it is open).
  const QString& lost_reason() const { return lost_reason_; }

 private:
  class Notifier;
  class VerboseConsole;

  double answer_limit_s() const;

  QString command_;
  LinkTarget target_;
  bool verbose_;
  Device device_;
  std::unique_ptr<Notifier> notifier_;
  std::unique_ptr<Console> console_;
  QString lost_reason_;
  QString notice_;  // the last message the link gave
};

}  // namespace quadrel::cli
