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
  // The follow-up reads run as jobs of their own, between the clients'.
  device_.set_follow_ups_automatic(false);
  connect(&device_, &Device::follow_ups_pending, this, [this] {
    if (std::exchange(follow_up_queued_, true)) return;
    enqueue([this] {
      follow_up_queued_ = false;
      // Not while the link is closed: they would be asked for again at once,
      // and again, and nothing else would run. The link's opening reads the
      // whole model.
      if (device_.link_open()) device_.run_follow_ups();
    });
  });
  // Never opened inside a client's exchange: it is over soon.
  opener_.set_may_open([this] { return !running_ || reopen_in_job_; });
  connect(&opener_, &LinkOpener::opened, this, [this] {
    last_reason_.clear();
    enter(LinkStatus::State::Connecting);
    log_event(QStringLiteral("%1: link open").arg(target().describe()));
    enqueue([this] { read_model(); });
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
  opener_.stop();
  device_.shut_down();
  device_.close_tcp();
  device_.close_serial();
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

void SharedLink::enqueue(std::function<void()> job) {
  jobs_.push_back(std::move(job));
  // Run from the event loop, never inside the caller's socket signal.
  if (!running_) QMetaObject::invokeMethod(this, &SharedLink::run_jobs, Qt::QueuedConnection);
}

void SharedLink::run_jobs() {
  if (running_) return;
  running_ = true;
  while (!jobs_.empty()) {
    const std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    job();
  }
  running_ = false;
}

SharedLink::Result SharedLink::carry(const Command& command, const void* origin, std::optional<int> selected) {
  Result result;
  if (command.kind == Command::Kind::Network) {
    result.outcome = device_.query_network_setting(command.network);
    if (result.outcome == ExchangeOutcome::Answered) {
      const std::optional<std::string>* address = command.row->text_in(device_.state());
      result.reply = bytes(address && *address ? **address : std::string());
    } else if (result.outcome == ExchangeOutcome::DeviceError) {
      result.reply = QByteArrayLiteral("ERR");
    }
    return result;
  }
  // Routing acts on the client's own output, selected again first if another
  // client selected another since; so does a question for the current
  // output: the client hears its own, and a question moves nothing of it.
  const Parameter& out = row_of(Aspect::Channel);
  const bool on_channel = command.row->aspect == Aspect::Routing ||
                          (command.row == &out && command.kind == Command::Kind::Query);
  if (selected && on_channel && device_.disp_mode() != mode_no::TvWall && device_.state().channel != selected) {
    device_.exchange(set_command(out, *selected));
  }
  carrying_ = command.kind == Command::Kind::Setting;
  carried_.reset();
  if (command.limit) {
    // The model must know that the reply is a limit, not a value.
    result.outcome = device_.query_bezel_limit(command.row->aspect_index);
  } else {
    // A label goes out as the panel sends it: its line and the exchange's own carriage return.
    const bool label = command.row->form == Form::Label && command.kind == Command::Kind::Setting;
    result.outcome = device_.exchange(label ? command.line + "\r" : command.line);
  }
  carrying_ = false;
  if (result.outcome == ExchangeOutcome::Answered || result.outcome == ExchangeOutcome::DeviceError) {
    result.reply = bytes(device_.link().last_reply());
  } else if (result.outcome == ExchangeOutcome::NoAnswer && command.late_reply) {
    // The device answers a mode change or a preset once it is done: the reply
    // comes as a report, which every client has then had.
    const std::string_view code = command.row->code;
    QByteArray late;
    const auto watch = connect(&device_, &Device::report_received, this, [&](const QByteArray& line) {
      const std::string_view of(line.constData(), std::min<qsizetype>(line.size(), 3));
      if (late.isEmpty() && (of == code || of == code::ERR)) late = line;
    });
    device_.wait_until([&] { return !late.isEmpty() || !device_.link_open(); }, Device::kLateReplyMs);
    disconnect(watch);
    if (!late.isEmpty()) {
      result.reply = late;
      result.late = true;
      result.outcome = late.startsWith(code::ERR.data()) ? ExchangeOutcome::DeviceError : ExchangeOutcome::Answered;
    } else if (!device_.link_open()) {
      result.outcome = ExchangeOutcome::LinkLost;
    }
    return result;
  }
  if (result.outcome == ExchangeOutcome::Answered && command.kind == Command::Kind::Setting)
    emit confirmed(result.reply, carried_.value_or(Change{command.row->aspect, 0}), origin);
  return result;
}

bool SharedLink::await_reopen(int ms) {
  reopen_in_job_ = true;
  const bool open = device_.wait_until([this] { return device_.link_open(); }, ms);
  reopen_in_job_ = false;
  return open;
}

void SharedLink::read_model() {
  if (!device_.link_open()) return;
  QElapsedTimer clock;
  clock.start();
  const bool whole = device_.read_everything();
  if (!device_.link_open()) return;
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
