#include "hub/shared_link.h"

#include <algorithm>

#include "hub/hub_log.h"
#include "link/core/catalogue.h"

namespace quadrel::hub {

namespace {

constexpr int kConnectLimitMs = 7000;  // the panel's

QByteArray code_of(const QByteArray& line) { return line.left(3); }

bool is_reply_line(const QByteArray& line) {
  return line.size() >= 3 && reply::is_code(std::string_view(line.constData(), 3));
}

QString seconds(int ms) { return QString::number(ms / 1000.0, 'g', 3) + QStringLiteral(" s"); }

}  // namespace

QString LinkTarget::describe() const {
  if (!tcp) return QStringLiteral("serial ") + device;
  const QString h = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
  return QStringLiteral("tcp %1:%2").arg(h).arg(port);
}

SharedLink::SharedLink(LinkTarget target, QObject* parent) : QObject(parent), target_(std::move(target)) {
  retry_.setSingleShot(true);
  connect(&retry_, &QTimer::timeout, this, &SharedLink::open_link);
  connect_limit_.setSingleShot(true);
  connect(&connect_limit_, &QTimer::timeout, this, [this] {
    if (!opening_) return;
    opening_ = false;
    device_.close_tcp();
    retry_later(QStringLiteral("no connection within %1").arg(seconds(kConnectLimitMs)));
  });
  connect(&device_, &Device::link_changed, this, &SharedLink::on_link_changed);
  connect(&device_, &Device::connect_failed, this, [this](const QString& reason) {
    if (!opening_) return;
    opening_ = false;
    connect_limit_.stop();
    device_.close_tcp();
    retry_later(reason);
  });
  connect(&device_, &Device::link_ended, this,
          [this](LinkEnd, const QString& reason) { on_link_ended(reason); });
  connect(&device_, &Device::report_received, this, [this](const QByteArray& line) {
    // "ERR" answers something (a refused network query) and reports nothing.
    if (!is_reply_line(line) || code_of(line) == "EXT" || code_of(line) == "ERR") return;
    emit report(line);
    follow_up(line);
  });
}

SharedLink::~SharedLink() {
  device_.shut_down();
  device_.close_tcp();
  device_.close_serial();
}

void SharedLink::start() { open_link(); }

void SharedLink::open_link() {
  // Never inside a client's exchange: it is over soon.
  if (running_ && !reopen_in_job_) return retry_.start(50);
  if (open_ || opening_) return;
  if (!target_.tcp) {
    device_.use_interface(0);
    QString why;
    if (!device_.open_serial(target_.device, target_.device, &why)) retry_later(why);
    return;
  }
  device_.use_interface(1);
  opening_ = true;
  connect_limit_.start(kConnectLimitMs);
  device_.connect_tcp(target_.host, target_.port);
}

void SharedLink::on_link_changed() {
  if (open_ || !device_.link_open()) return;
  open_ = true;
  opening_ = false;
  connect_limit_.stop();
  attempt_ = 0;
  last_reason_.clear();
  log_event(QStringLiteral("%1: link open").arg(target_.describe()));
  enqueue([this] { read_model(); });
}

void SharedLink::on_link_ended(const QString& reason) {
  if (!open_) return;
  open_ = false;
  up_ = false;
  log_event(QStringLiteral("%1: link closed: %2").arg(target_.describe(), reason));
  emit link_state(false, reason);
  attempt_ = 0;
  last_reason_ = reason;
  retry_.start(kRetryMs[0]);
}

void SharedLink::retry_later(const QString& reason) {
  const int wait = kRetryMs[std::min<int>(attempt_, std::size(kRetryMs) - 1)];
  ++attempt_;
  // Once per reason: a device away for a night does not fill the journal.
  if (reason != last_reason_)
    log_event(QStringLiteral("%1: cannot open the link: %2; trying again, every %3 at most")
                  .arg(target_.describe(), reason, seconds(kRetryMs[std::size(kRetryMs) - 1])));
  last_reason_ = reason;
  retry_.start(wait);
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
    const DeviceState& s = device_.state();
    const std::optional<std::string>* fields[] = {&s.ip, &s.mask, &s.gateway};
    if (result.outcome == ExchangeOutcome::Answered)
      result.reply = QByteArray::fromStdString(fields[command.network]->value_or(std::string()));
    else if (result.outcome == ExchangeOutcome::DeviceError)
      result.reply = QByteArrayLiteral("ERR");
    return result;
  }
  // Routing acts on the client's own output, selected again first if another
  // client selected another since; so does a question for the current
  // output: the client hears its own, and a question moves nothing of it.
  const bool on_channel = command.line.compare(0, 3, code::INP) == 0 || command.line == cmd::query(code::OUT);
  if (selected && on_channel && device_.disp_mode() != mode_no::TvWall && device_.state().channel != selected) {
    device_.exchange(cmd::set(code::OUT, *selected));
  }
  // A label goes out as the panel sends it: its line and the exchange's own carriage return.
  const bool label = command.line.compare(0, 3, code::LAI) == 0 && command.kind == Command::Kind::Setting;
  if (command.line == cmd::query_limit(code::BEH) || command.line == cmd::query_limit(code::BEV))
    // The model must know that the reply is a limit, not a value.
    result.outcome = device_.query_bezel_limit(command.line[2] == 'H' ? 0 : 1);
  else
    result.outcome = device_.exchange(label ? command.line + "\r" : command.line);
  if (result.outcome == ExchangeOutcome::Answered || result.outcome == ExchangeOutcome::DeviceError) {
    result.reply = QByteArray::fromStdString(device_.link().last_reply());
  } else if (result.outcome == ExchangeOutcome::NoAnswer && command.late_reply) {
    // The device answers a mode change or a preset once it is done: the reply
    // comes as a report, which every client has then had.
    const QByteArray code = QByteArray::fromStdString(command.line.substr(0, 3));
    QByteArray late;
    const auto watch = connect(this, &SharedLink::report, this, [&](const QByteArray& line) {
      if (late.isEmpty() && (code_of(line) == code || code_of(line) == "ERR")) late = line;
    });
    device_.wait_until([&] { return !late.isEmpty() || !device_.link_open(); }, Device::kLateReplyMs);
    disconnect(watch);
    if (!late.isEmpty()) {
      result.reply = late;
      result.late = true;
      result.outcome = code_of(late) == "ERR" ? ExchangeOutcome::DeviceError : ExchangeOutcome::Answered;
    } else if (!device_.link_open()) {
      result.outcome = ExchangeOutcome::LinkLost;
    }
    return result;
  }
  if (result.outcome == ExchangeOutcome::Answered && command.kind == Command::Kind::Setting) {
    emit confirmed(result.reply, origin);
    follow_up(result.reply);
  }
  return result;
}

bool SharedLink::await_reopen(int ms) {
  reopen_in_job_ = true;
  const bool open = device_.wait_until([this] { return open_; }, ms);
  reopen_in_job_ = false;
  return open;
}

void SharedLink::follow_up(const QByteArray& line) {
  const QByteArray code = code_of(line);
  if (code == "MOD" || code == "CAL") {
    enqueue([this] { read_after_mode_change(); });
  } else if (code == "RST" && line.endsWith('1')) {
    enqueue([this] { read_model(); });
  }
}

void SharedLink::restore_channel(std::optional<int> channel) {
  if (!channel || device_.disp_mode() == mode_no::TvWall || device_.state().channel == channel) return;
  device_.exchange(cmd::set(code::OUT, *channel));
}

void SharedLink::read_model() {
  if (!device_.link_open()) return;
  QElapsedTimer clock;
  clock.start();
  // What a client selected stays selected: the routing is read output by output.
  device_.exchange(cmd::query(code::OUT));
  const std::optional<int> channel = device_.state().channel;
  bool whole = device_.refresh(true);
  restore_channel(channel);
  whole = device_.hdcp_refresh() && whole;
  whole = device_.label_in_refresh() && whole;
  whole = device_.dual_pip_refresh() && whole;
  whole = device_.query_network() && whole;
  if (!device_.link_open()) return;
  log_event(QStringLiteral("%1: model read in %2 ms%3")
                .arg(target_.describe())
                .arg(clock.elapsed())
                .arg(whole ? QString() : QStringLiteral(" (some queries went unanswered)")));
  if (!up_) {
    up_ = true;
    emit link_state(true, {});
  }
}

void SharedLink::read_after_mode_change() {
  if (!device_.link_open()) return;
  const std::optional<int> channel = device_.state().channel;
  if (device_.disp_mode() == mode_no::TvWall) {
    device_.exchange(cmd::set(code::OUT, 1));
    device_.exchange(cmd::query(code::INP));
  } else {
    device_.map_refresh();
  }
  device_.picture_refresh();
  device_.exchange(cmd::query(code::ASP));
  device_.dual_pip_refresh();
  restore_channel(channel);
}

}  // namespace quadrel::hub
