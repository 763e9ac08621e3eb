#include "hub/shared_link.h"

#include <QElapsedTimer>

#include "hub/hub_log.h"
#include "link/core/catalogue.h"

namespace quadrel::hub {

namespace {

QString seconds(int ms) { return QString::number(ms / 1000.0, 'g', 3) + QStringLiteral(" s"); }

QByteArray bytes(const std::string& text) { return QByteArray::fromStdString(text); }

}  // namespace

SharedLink::SharedLink(LinkTarget where, QObject* parent)
    : QObject(parent), device_(), opener_(device_, std::move(where)) {
  // The follow-up reads run as jobs of their own, in turn with the clients'.
  device_.set_follow_ups_automatic(false);
  connect(&device_, &Device::follow_ups_pending, this, &SharedLink::schedule_follow_up);
  settle_.setSingleShot(true);
  connect(&settle_, &QTimer::timeout, this, &SharedLink::schedule_follow_up);
  connect(&opener_, &LinkOpener::opened, this, [this] {
    last_reason_.clear();
    enter(LinkStatus::State::Connecting);
    log_event(QStringLiteral("%1: link open").arg(target().describe()));
    enqueue([this] { return read_model(); });
  });
  connect(&opener_, &LinkOpener::failed, this, [this](const QString& reason, int) {
    // Once per reason: a device away for a night does not fill the journal.
    if (reason != last_reason_)
      log_event(QStringLiteral("%1: cannot open the link: %2; trying again, every %3 at most")
                    .arg(target().describe(), reason, seconds(kRetryMs[std::size(kRetryMs) - 1])));
    last_reason_ = reason;
    reason_ = reason;
    enter(LinkStatus::State::Down);
  });
  connect(&device_, &Device::link_ended, this, [this](LinkEnd, const QString& reason) { on_link_ended(reason); });
  connect(&device_, &Device::changed, this, &SharedLink::on_changed);
}

SharedLink::~SharedLink() {
  shut_down();
  device_.close_tcp();
  device_.close_serial();
}

void SharedLink::shut_down() {
  if (stopped_) return;
  stopped_ = true;
  opener_.stop();
  settle_.stop();
  // What is cut short, said before it ends.
  const std::string& sending = device_.link().sending();
  QStringList cut;
  if (!sending.empty()) cut << QStringLiteral("the exchange of %1 ended unanswered").arg(QString::fromStdString(sending));
  if (waiting_ > 0) cut << QStringLiteral("%1 jobs waiting for the link were not run").arg(waiting_);
  if (!cut.isEmpty()) log_event(QStringLiteral("%1: stopping: %2").arg(target().describe(), cut.join(QStringLiteral("; "))));
  // Every wait ends now; the job under way runs on to its end, and so do the
  // queued ones, each at once: nothing is sent any more, and whoever waits
  // for one is answered.
  device_.shut_down();
  while (std::optional<Job> job = next_job()) run_detached((*job)());
}

void SharedLink::schedule_follow_up() {
  if (follow_up_queued_ || stopped_ || device_.pending_reads().empty()) return;
  // A burst of reports is read once, after it: a report on its own soon, a
  // storm (each report close behind the one before) once it has passed.
  const qint64 settle = storm_ ? kStormSettleMs : kReportSettleMs;
  if (last_report_.isValid() && last_report_.elapsed() < settle) {
    settle_.start(static_cast<int>(settle - last_report_.elapsed()));
    return;
  }
  follow_up_queued_ = true;
  enqueue([this] { return follow_up(); });
}

QCoro::Task<> SharedLink::follow_up() {
  follow_up_queued_ = false;
  // Not while the link is closed: they would be asked for again at once, and
  // again, and nothing else would run. The link's opening reads the whole model.
  if (device_.pending_reads().empty() || !device_.link_open()) co_return;
  // Nobody asked to change the selected output: it is selected again once the reads are done.
  if (!follow_up_selected_) follow_up_selected_ = device_.state().channel.value_or(0);
  const bool answered = co_await device_.run_next_follow_up();
  if (!device_.pending_reads().empty()) {
    // The next group, after the others' work that came meanwhile.
    schedule_follow_up();
    co_return;
  }
  const int selected = std::exchange(follow_up_selected_, std::nullopt).value_or(0);
  if (answered && selected > 0) co_await device_.select_again(selected);
}

void SharedLink::start() { opener_.keep_open(); }

LinkStatus SharedLink::status() const { return {state_, since_, reason_, target().describe()}; }

void SharedLink::enter(LinkStatus::State state) {
  if (state == state_) return;
  state_ = state;
  since_ = QDateTime::currentDateTimeUtc();
}

void SharedLink::on_changed(Aspect aspect, int index) {
  const Change change{aspect, index};
  const QByteArray line = bytes(device_.link().rx_buf());
  if (device_.link().handler_path() != ReplyPath::Exchange) {
    // The device said it on its own (or late): every client hears it.
    // Lines of one burst leave it as it was; a report after a short pause is a storm's.
    const qint64 gap = last_report_.isValid() ? last_report_.elapsed() : kStormSettleMs;
    if (gap >= kReportSettleMs) storm_ = gap < kStormSettleMs;
    last_report_.start();
    emit report(line, change);
  } else if (carrying_ && device_.reply_door() == Door::Set) {
    carried_ = change;
  } else if (!carrying_ && device_.reply_is_news() && aspect != Aspect::Channel) {
    // Found by the hub's own reads (the selected output they change is put
    // back), the reading after an outage included: what changed meanwhile.
    emit refreshed(line, change);
  }
}

void SharedLink::on_link_ended(const QString& reason) {
  up_ = false;
  log_event(QStringLiteral("%1: link closed: %2").arg(target().describe(), reason));
  last_reason_ = reason;
  reason_ = reason;
  enter(LinkStatus::State::Down);
  emit link_state(false, reason);
}

// --- work on the device ----------------------------------------------------

void SharedLink::enqueue(Job job, const void* origin) {
  if (stopped_) {
    // Nothing more goes to the device: the job ends at once, its client answered.
    run_detached(job());
    return;
  }
  auto queue = std::find_if(queues_.begin(), queues_.end(), [origin](const Queue& q) { return q.origin == origin; });
  if (queue == queues_.end()) queue = queues_.insert(queues_.end(), Queue{origin, {}});
  queue->jobs.push_back(std::move(job));
  ++waiting_;
  start_jobs();
}

void SharedLink::start_jobs() {
  // Run from the event loop, never inside the caller's socket signal.
  if (!running_ && !stopped_) {
    running_ = true;
    QMetaObject::invokeMethod(this, [this] { run_detached(run_jobs()); }, Qt::QueuedConnection);
  }
}

std::optional<SharedLink::Job> SharedLink::next_job() {
  if (queues_.empty()) return std::nullopt;
  Queue queue = std::move(queues_.front());
  queues_.pop_front();
  Job job = std::move(queue.jobs.front());
  queue.jobs.pop_front();
  --waiting_;
  // Its next job waits for one of every other origin's.
  if (!queue.jobs.empty()) queues_.push_back(std::move(queue));
  return job;
}

QCoro::Task<> SharedLink::run_jobs() {
  // One job at a time: each awaits the device, and the next starts when it ends.
  while (!stopped_) {
    std::optional<Job> job = next_job();
    if (!job) break;
    co_await (*job)();
  }
  running_ = false;
}

QCoro::Task<SharedLink::Result> SharedLink::carry(Command command, const void* origin, std::optional<int> selected) {
  Result result;
  if (command.kind == Command::Kind::Network) {
    result.outcome = co_await device_.query_network_setting(command.network);
    if (result.outcome == ExchangeOutcome::Answered) {
      const std::optional<std::string>* address = command.row->text_in(device_.state());
      result.reply = bytes(address && *address ? **address : std::string());
    } else if (result.outcome == ExchangeOutcome::DeviceError) {
      result.reply = QByteArrayLiteral("ERR");
    }
    co_return result;
  }
  // Routing acts on the client's own output, selected again first if another
  // client selected another since; so does a question for the current
  // output: the client hears its own, and a question moves nothing of it.
  const Parameter& out = row_of(Aspect::Channel);
  const bool on_channel = command.row->aspect == Aspect::Routing ||
                          (command.row == &out && command.kind == Command::Kind::Query);
  if (selected && on_channel && device_.disp_mode() != mode_no::TvWall && device_.state().channel != selected) {
    co_await device_.exchange(set_command(out, *selected));
  }
  carrying_ = command.kind == Command::Kind::Setting;
  carried_.reset();
  if (command.limit) {
    // The model must know that the reply is a limit, not a value.
    result.outcome = co_await device_.query_bezel_limit(command.row->aspect_index);
  } else {
    // A label goes out as the panel sends it: its line and the exchange's own carriage return.
    const bool label = command.row->form == Form::Label && command.kind == Command::Kind::Setting;
    std::string line = command.line;
    if (label) line += '\r';
    result.outcome = co_await device_.exchange(std::move(line));
  }
  carrying_ = false;
  if (result.outcome == ExchangeOutcome::Answered || result.outcome == ExchangeOutcome::DeviceError) {
    result.reply = bytes(device_.link().last_reply());
  } else if (result.outcome == ExchangeOutcome::NoAnswer && command.late_reply) {
    // The device answers a mode change or a preset once it is done: the reply
    // comes as a report, which every client has then had.
    const std::string_view code = command.row->code;
    QByteArray late;
    const auto watch = connect(&device_, &Device::report_received, this, [&late, code](const QByteArray& line) {
      const std::string_view of(line.constData(), std::min<qsizetype>(line.size(), 3));
      if (late.isEmpty() && (of == code || of == code::ERR)) late = line;
    });
    co_await device_.until([&] { return !late.isEmpty() || !device_.link_open(); }, Device::kLateReplyMs);
    disconnect(watch);
    if (!late.isEmpty()) {
      result.reply = late;
      result.late = true;
      result.outcome = late.startsWith(code::ERR.data()) ? ExchangeOutcome::DeviceError : ExchangeOutcome::Answered;
    } else if (!device_.link_open() || device_.shutting_down()) {
      result.outcome = ExchangeOutcome::LinkLost;
    }
    co_return result;
  }
  if (result.outcome == ExchangeOutcome::Answered && command.kind == Command::Kind::Setting)
    emit confirmed(result.reply, carried_.value_or(Change{command.row->aspect, 0}), origin);
  co_return result;
}

QCoro::Task<bool> SharedLink::await_reopen(int ms) {
  co_return co_await device_.until([this] { return device_.link_open(); }, ms);
}

QCoro::Task<> SharedLink::read_model() {
  if (!device_.link_open()) co_return;
  QElapsedTimer clock;
  clock.start();
  const bool whole = co_await device_.read_everything();
  if (!device_.link_open() || stopped_) co_return;
  log_event(QStringLiteral("%1: model read in %2 ms%3")
                .arg(target().describe())
                .arg(clock.elapsed())
                .arg(whole ? QString() : QStringLiteral(" (some queries went unanswered)")));
  if (!up_) {
    up_ = true;
    enter(LinkStatus::State::Up);
    emit link_state(true, {});
  }
}

}  // namespace quadrel::hub
