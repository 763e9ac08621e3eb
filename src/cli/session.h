// One run of the client on one link: opening it, exchanges, the device model and error lines.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "link/core/device_state.h"
#include "link/device_link.h"
#include "link/serial_link.h"
#include "link/tcp_link.h"

namespace quadrel::cli {

// Exit codes a script can branch on.
namespace exit_code {
inline constexpr int Done = 0;
inline constexpr int Refused = 1;    // the device answered "ERR"
inline constexpr int NoAnswer = 2;   // nothing within the limit
inline constexpr int LinkError = 3;  // cannot open, lost, refused
inline constexpr int Usage = 64;
}  // namespace exit_code

// Where the link goes.
struct LinkTarget {
  bool tcp = false;
  QString device;       // serial: the device path
  QString host;         // TCP
  quint16 port = 23;

  // "serial /dev/ttyUSB0", "tcp 192.168.1.100:23".
  QString describe() const;
};

int exit_code_of(ExchangeOutcome outcome);

class Session : public QObject {
  Q_OBJECT
 public:
  // `command` names the subcommand in error lines; `verbose` copies the traffic to stderr.
  Session(QString command, LinkTarget target, bool verbose);
  ~Session() override;

  // Opens the link (the TCP connection is given 7 s, like the panel's). On
  // failure the error line is printed and false returned.
  bool open();
  bool link_open() const;

  DeviceLink& link() { return link_; }
  DeviceModel& model() { return model_; }
  const DeviceState& state() const { return model_.state(); }

  // One exchange (`tx_cmd`); the reply updates the model.
  ExchangeOutcome exchange(std::string_view command);
  // After an exchange that got no answer: waits up to 5 s more for a late
  // reply with `code` (or "ERR"), as the panel does after a mode change or a preset.
  ExchangeOutcome late_reply(std::string_view code);
  // A network query (0 IP address, 1 subnet mask, 2 gateway): its bare answer
  // goes into the model.
  ExchangeOutcome network_query(int which);

  // Called with each complete line the device sends (its terminator removed),
  // replies and lines it sends on its own alike.
  std::function<void(const std::string& line)> on_line;
  // The last complete line received, and how many there were.
  const std::string& last_line() const { return last_line_; }
  int lines_seen() const { return lines_seen_; }

  // Prints "quadrel-cli: <command>: <link>: <reason>" on stderr.
  void error(const QString& reason) const;
  // Reports an exchange that did not end with its answer; returns its exit code.
  int fail(std::string_view command, ExchangeOutcome outcome) const;
  // Why the link closed while it was in use (empty while it is open).
  const QString& lost_reason() const { return lost_reason_; }

 signals:
  // The link closed while it was in use.
  void link_lost();

 private:
  class Console;
  class Notifier;

  void mark_lost(const QString& reason);
  void on_console(std::string_view text);
  double answer_limit_s() const;

  QString command_;
  LinkTarget target_;
  bool verbose_;
  // The byte links outlive the exchange that uses them.
  SerialLink serial_;
  TcpLink tcp_;
  DeviceLink link_;
  DeviceModel model_;
  std::unique_ptr<Console> console_;
  std::unique_ptr<Notifier> notifier_;
  QString lost_reason_;
  QString notice_;  // the last message the link core gave
  std::string last_line_;
  int lines_seen_ = 0;
  std::string awaited_code_;  // a late reply or a network answer is awaited
  std::string awaited_seen_;  // the code of the line that ended that wait
};

}  // namespace quadrel::cli
