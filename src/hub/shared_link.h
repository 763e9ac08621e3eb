// The one link to the device that every client of the hub shares: it opens
// and reopens the link, keeps the model current and runs the clients' work
// one piece at a time.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>

#include "hub/command_rules.h"
#include "link/device.h"

namespace quadrel::hub {

// Where the device is.
struct LinkTarget {
  bool tcp = false;
  QString host;         // TCP
  quint16 port = 23;
  QString device;       // serial: the device path

  // "tcp 192.168.1.100:23", "serial /dev/ttyUSB0".
  QString describe() const;
};

class SharedLink : public QObject {
  Q_OBJECT
 public:
  explicit SharedLink(LinkTarget target, QObject* parent = nullptr);
  ~SharedLink() override;

  // Opens the link; when it cannot be opened, or closes later, it is tried
  // again by itself, after 0.5 s, 1 s, 2 s, 4 s and then every 5 s.
  void start();

  Device& device() { return device_; }
  const Device& device() const { return device_; }
  const LinkTarget& target() const { return target_; }
  // The link is open and its model has been read since it opened.
  bool up() const { return up_; }

  // Work on the device: runs after the work queued before it, alone on the
  // link, from the event loop.
  void enqueue(std::function<void()> job);
  // The jobs not yet done, the one running included: 0 when the link is idle.
  int queued() const { return static_cast<int>(jobs_.size()) + (running_ ? 1 : 0); }

  // One client's command, run inside a job.
  struct Result {
    ExchangeOutcome outcome = ExchangeOutcome::NoAnswer;
    QByteArray reply;   // the device's line (its own code, or "ERR"), or the address; empty on silence
    bool late = false;  // it came after the wait, as a report: every client has had it already
  };
  // `selected` is the output channel this client last selected: an input
  // command acts on the device's current channel, which another client may
  // have changed since; it is selected again first. Each client has its own
  // selected output: a selection is never told to the others.
  Result carry(const Command& command, const void* origin, std::optional<int> selected = std::nullopt);

  // Inside a job, after a command that restarts the device: lets the link be
  // opened again and waits until it is (true) or `ms` have passed.
  bool await_reopen(int ms);

  // After a mode change or a preset: the routing, picture and aspect are
  // read again, and the selected output put back. Inside a job.
  void read_after_mode_change();

  // The waits before the link is tried again, in ms; the last one repeats.
  static constexpr int kRetryMs[] = {500, 1000, 2000, 4000, 5000};

 signals:
  // A line the device sent on its own (its "EXT" is the hub's business, never passed on).
  void report(const QByteArray& line);
  // A change `origin` asked for and the device confirmed, as its reply says
  // it; emitted at once, while the model's current channel is the one it acted on.
  void confirmed(const QByteArray& line, const void* origin);
  // The link has opened and the model is read (`up`), or the link has closed.
  void link_state(bool up, const QString& reason);

 private:
  void open_link();
  void on_link_changed();
  void on_link_ended(const QString& reason);
  void retry_later(const QString& reason);
  void run_jobs();
  // Reads what a client's view shows: every setting, then puts the selected output back.
  void read_model();
  void follow_up(const QByteArray& line);
  void restore_channel(std::optional<int> channel);

  LinkTarget target_;
  Device device_;
  std::deque<std::function<void()>> jobs_;
  bool running_ = false;
  bool open_ = false;  // the link is open (its model may still be read)
  bool up_ = false;
  bool opening_ = false;
  bool reopen_in_job_ = false;  // a job waits for the link to open again
  int attempt_ = 0;
  QTimer retry_;
  QTimer connect_limit_;
  QString last_reason_;
};

}  // namespace quadrel::hub
