// The one link to the device that every client of the hub shares: it opens
// and reopens the link, keeps the model current and runs the clients' work
// one piece at a time.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <deque>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <optional>

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

  // Work on the device: a coroutine that runs alone on the link, from the
  // event loop, once it is its turn. Each origin (a client; nullptr for the
  // hub's own reads) has its queue, and the queues are served in turn: one
  // job of each that has work, round and round, so that nobody's work waits
  // behind a long queue of another's. The reads a reply asks for (Device's
  // follow-ups) are the hub's own work, one group a job.
  using Job = std::function<QCoro::Task<>()>;
  void enqueue(Job job, const void* origin = nullptr);
  // The jobs not yet done, the one running included, and the reads that
  // wait for a burst of reports to end: 0 when the link is idle.
  int queued() const { return waiting_ + (running_ ? 1 : 0) + (settle_.isActive() ? 1 : 0); }

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
  QCoro::Task<Result> carry(Command command, const void* origin, std::optional<int> selected = std::nullopt);

  // Inside a job, after a command that restarts the device: awaits the link
  // opened again (true), or `ms` passing.
  QCoro::Task<bool> await_reopen(int ms);

  // The hub stops: the exchange under way ends with its outcome, nothing more
  // is sent, the jobs still queued end at once (their clients told that the
  // link is not open), and the log says what was cut short. For good.
  void shut_down();

  // Reads that reports ask for wait until the reports have been quiet this
  // long: a burst of lines a few ms apart is read once, after it, and what a
  // report brings is every client's within 100 ms of it (a mode's reads take
  // some 5 ms more).
  static constexpr int kReportSettleMs = 30;
  // A report that comes after a pause, but this soon after the one before,
  // is part of a storm (a knob turned at the front panel): the reads wait
  // until the reports have been quiet this long, and the storm is read once
  // after it (and once at its start).
  static constexpr int kStormSettleMs = 200;

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
  struct Queue {
    const void* origin;
    std::deque<Job> jobs;
  };

  void on_changed(Aspect aspect, int index);
  void on_link_ended(const QString& reason);
  // Runs the queued jobs in turn until none is left.
  QCoro::Task<> run_jobs();
  void start_jobs();
  // The next job in turn, or none.
  std::optional<Job> next_job();
  // Reads what a client's view shows: everything.
  QCoro::Task<> read_model();
  // Queues the pending follow-up reads as a job, unless reports still come.
  void schedule_follow_up();
  QCoro::Task<> follow_up();

  Device device_;
  LinkOpener opener_;
  std::deque<Queue> queues_;  // in turn: the front one is served next
  int waiting_ = 0;
  bool running_ = false;
  bool stopped_ = false;
  bool up_ = false;
  bool follow_up_queued_ = false;
  std::optional<int> follow_up_selected_;  // the output selected before the reads began
  QElapsedTimer last_report_;              // since the device last reported a change on its own
  bool storm_ = false;                     // the last report came close behind the one before
  QTimer settle_;                          // the reports' quiet before their reads
  bool carrying_ = false;       // a client's command is being carried
  std::optional<Change> carried_;  // what its answer changed
  QString last_reason_;
  LinkStatus::State state_ = LinkStatus::State::Connecting;
  QDateTime since_ = QDateTime::currentDateTimeUtc();
  QString reason_;  // the last, kept until the next
  void enter(LinkStatus::State state);
};

}  // namespace quadrel::hub
