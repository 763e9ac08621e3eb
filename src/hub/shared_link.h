// The one link to the device that every client of the hub shares: it opens
// and reopens the link, keeps the model current and runs the clients' work
// one piece at a time.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <deque>
#include <functional>

#include "hub/command_rules.h"
#include "link/device.h"
#include "link/link_opener.h"
#include "link/state_document.h"

namespace quadrel::hub {

using quadrel::LinkTarget;

class SharedLink : public QObject {
  Q_OBJECT
 public:
  explicit SharedLink(LinkTarget target, QObject* parent = nullptr);
  ~SharedLink() override;

  // Opens the link; when it cannot be opened, or closes later, it is tried
  // again by itself (LinkOpener::kRetryMs).
  void start();

  Device& device() { return device_; }
  const Device& device() const { return device_; }
  const LinkTarget& target() const { return opener_.target(); }
  // The link is open and its model has been read since it opened.
  bool up() const { return up_; }
  // Where the link stands, since when, and the last reason it closed or failed.
  LinkStatus status() const;

  // Work on the device: runs after the work queued before it, alone on the
  // link, from the event loop. The reads a reply asks for (Device's
  // follow-ups) are work of their own, queued when asked.
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

  // The waits before the link is tried again, in ms; the last one repeats.
  static constexpr const auto& kRetryMs = LinkOpener::kRetryMs;

 signals:
  // A line the device sent on its own, as the model read it (what it changed).
  void report(const QByteArray& line, quadrel::Change change);
  // A change `origin` asked for and the device confirmed, as its reply says
  // it; emitted at once, while the model's current channel is the one it acted on.
  void confirmed(const QByteArray& line, quadrel::Change change, const void* origin);
  // A value the hub's own reads found changed (what a mode change or a recall
  // brought): nobody asked, every watcher may want to know.
  void refreshed(const QByteArray& line, quadrel::Change change);
  // The link has opened and the model is read (`up`), or the link has closed.
  void link_state(bool up, const QString& reason);

 private:
  void on_changed(Aspect aspect, int index);
  void on_link_ended(const QString& reason);
  void run_jobs();
  // Reads what a client's view shows: everything.
  void read_model();

  Device device_;
  LinkOpener opener_;
  std::deque<std::function<void()>> jobs_;
  bool running_ = false;
  bool up_ = false;
  bool reopen_in_job_ = false;  // a job waits for the link to open again
  bool follow_up_queued_ = false;
  bool carrying_ = false;       // a client's command is being carried
  std::optional<Change> carried_;  // what its answer changed
  QString last_reason_;
  LinkStatus::State state_ = LinkStatus::State::Connecting;
  QDateTime since_ = QDateTime::currentDateTimeUtc();
  QString reason_;  // the last, kept until the next
  void enter(LinkStatus::State state);
};

}  // namespace quadrel::hub
