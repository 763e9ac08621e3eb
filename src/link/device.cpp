#include "link/device.h"

#include "link/hub_presence.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QMetaMethod>

#include "link/core/catalogue.h"

namespace quadrel {

namespace {

// "999", "998" and "99n": a query, which sets nothing.
bool is_query(std::string_view command) {
  return command.size() == 6 && command[3] == '9' && command[4] == '9';
}

// The picture rows in the order the picture refresh reads them.
const Parameter& picture_row(int which) {
  static const Parameter* const rows[] = {&row_of(Aspect::Brightness), &row_of(Aspect::Contrast),
                                          &row_of(Aspect::Hue), &row_of(Aspect::Saturation)};
  return *rows[which];
}

bool went_through(ExchangeOutcome outcome) {
  return outcome == ExchangeOutcome::Answered || outcome == ExchangeOutcome::DeviceError;
}

QString host_and_port(const QString& host, quint16 port) {
  if (QHostAddress(host).protocol() == QAbstractSocket::IPv6Protocol)
    return QStringLiteral("[%1]:%2").arg(host).arg(port);
  return QStringLiteral("%1:%2").arg(host).arg(port);
}

}  // namespace

// An operation or a sequence of the Device: the follow-up reads wait for the
// outermost to end.
struct Device::Hold {
  explicit Hold(Device& d) : d_(d) { ++d_.operations_; }
  ~Hold() {
    if (--d_.operations_ > 0) return;
    d_.arm_follow_ups();
    // Whoever awaits the device settled looks again.
    d_.link_.waits().poke();
  }
  Device& d_;
};

// A full read: the answers it gets ask for no follow-up reads.
struct Device::FullRead {
  explicit FullRead(Device& d) : d_(d) { ++d_.full_reads_; }
  ~FullRead() { --d_.full_reads_; }
  Device& d_;
};

Device::Device(QObject* parent) : QObject(parent) {
  link_.set_serial(&serial_);
  link_.set_tcp(&tcp_);
  install_handlers();

  follow_timer_.setSingleShot(true);
  connect(&follow_timer_, &QTimer::timeout, this, [this] {
    if (!automatic_ || pending_.empty()) return;
    // Something of the link is under way (an exchange, a wait): later.
    if (!idle()) return follow_timer_.start(kFollowUpRetryMs);
    run_detached(run_follow_ups());
  });
  // Reads asked of a link that closed are the opener's business (a link
  // opened again is read whole).
  connect(this, &Device::link_changed, this, [this] {
    // A wait may hang on the link's state.
    link_.waits().poke();
    if (link_open()) return;
    pending_ = {};
    restart_first_ = false;
    late_code_.clear();
  });

  connect(&link_, &DeviceLink::exchange_ended, this, [this](const QString& command, ExchangeOutcome outcome) {
    if (!went_through(outcome)) ++unanswered_;
    emit exchange_ended(command, outcome);
  });
  connect(&link_, &DeviceLink::line_received, this, &Device::line_received);
  connect(&link_, &DeviceLink::report_received, this, &Device::report_received);
  connect(&link_, &DeviceLink::serial_lost, this, [this](const QString& reason) {
    emit link_changed();
    emit link_ended(LinkEnd::Lost, reason);
  });
  // The device restarts after "PWR001" or "RST001" over Ethernet and drops the
  // connection: its last words are awaited a second, then this side closes.
  connect(&link_, &DeviceLink::reboot_sent, this, [this] { restarting_ = true; });
  connect(&link_, &DeviceLink::ethernet_reboot, this, [this] {
    emit restarting();
    end_tcp(LinkEnd::Restarting, QStringLiteral("the device restarts; connect again once it is ready"));
    restarting_ = false;
  });

  connect(&tcp_, &TcpLink::connected, this, [this] {
    tcp_.socket().setSocketOption(QAbstractSocket::LowDelayOption, 1);
    link_.state().eth_connected = true;
    connecting_ = false;
    opened_.start();
    tcp_name_ = host_and_port(tcp_.socket().peerName().isEmpty() ? tcp_.socket().peerAddress().toString()
                                                                  : tcp_.socket().peerName(),
                              tcp_.socket().peerPort());
    emit link_changed();
  });
  // Queued: the socket finishes its own work before anyone reacts (a message
  // box runs an event loop).
  connect(&tcp_, &TcpLink::disconnected, this, &Device::on_tcp_closed, Qt::QueuedConnection);
  connect(&tcp_.socket(), &QAbstractSocket::errorOccurred, this, [this] {
    if (connecting_ && !tcp_.is_connected()) emit connect_failed(tcp_.socket().errorString());
  });
}

Device::~Device() {
  // Whatever awaits the device ends first, while all of it is still there.
  shut_down();
  // The handlers point into this object; the links outlive nothing here.
  for (const auto& entry : link_.table().entries()) link_.table().set(entry.code, {});
  link_.set_serial(nullptr);
  link_.set_tcp(nullptr);
}

void Device::connectNotify(const QMetaMethod& signal) {
  // The raw bytes are passed on only while someone listens: the receive path
  // copies nothing for nobody.
  if (signal == QMetaMethod::fromSignal(&Device::bytes_received) && !bytes_forwarded_) {
    bytes_forwarded_ = true;
    connect(&link_, &DeviceLink::bytes_received, this, &Device::bytes_received);
  }
}

void Device::install_handlers() {
  for (const auto& entry : link_.table().entries()) {
    const std::string_view code = entry.code;
    link_.table().set(code, [this, code] { handle_reply(code); });
  }
}

void Device::handle_reply(std::string_view code) {
  if (code == code::EXT) {
    // The device ends the connection.
    end_tcp(LinkEnd::EndedByDevice, QStringLiteral("the device ended the connection (EXT)"));
    return;
  }
  const std::string line = link_.rx_buf();
  const Parameter* row = nullptr;
  const std::optional<Applied> applied = model_.read(line, &row);
  if (!applied) return;  // names no setting: nothing changes
  switch (applied->change.aspect) {
    case Aspect::Power:
      // Any digit but 0 reports on; kept as 1 so the next toggle asks for standby.
      pwr_state_ = state().power.value_or(false) ? 1 : 0;
      break;
    case Aspect::AudioOn:
      audio_state_ = state().audio_on.value_or(false) ? 1 : 0;
      break;
    case Aspect::KeyLock:
      lock_state_ = model_.lock_digit().value_or(0);
      break;
    default:
      break;
  }
  // How the reply came: the answer to the command being sent, the late
  // answer to a setting, or a line the device sent on its own.
  Door door = Door::Report;
  if (link_.handler_path() == ReplyPath::Exchange) {
    door = is_query(link_.sending()) ? Door::Query : Door::Set;
  } else if (!late_code_.empty() && late_code_ == row->code && late_since_.elapsed() <= kLateReplyMs) {
    door = Door::Set;
    late_code_.clear();
  }
  door_ = door;
  changed_value_ = applied->changed;
  news_ = applied->news;
  emit changed(applied->change.aspect, applied->change.index);
  // The answers of a full read ask for nothing: it reads what they would.
  if (door == Door::Query && full_reads_ > 0) return;
  schedule(follow_ups(*row, door, *applied), row->restarts && applied->value == row->restart_value);
}

void Device::forget_state() {
  model_.clear();
  pending_ = {};
  restart_first_ = false;
  late_code_.clear();
  pwr_state_ = audio_state_ = lock_state_ = 254;
  link_.state().getip_state = 254;
  link_.state().con_lines = 0;
}

// --- the link ----------------------------------------------------------------

void Device::use_interface(int iface) {
  link_.state().iface = iface;
  emit link_changed();
}

bool Device::open_serial(const QString& device, const QString& name, QString* error) {
  LinkState& st = link_.state();
  serial_name_ = name;
  if (st.serial_open) {
    serial_.close();
    st.serial_open = false;
  }
  QString why = QStringLiteral("no serial device");
  if (device.isEmpty() || !serial_.open(device, &why)) {
    serial_.close();
    st.serial_open = false;
    if (error) *error = why;
    emit link_changed();
    return false;
  }
  st.serial_open = true;
  link_.reset_exchange();
  link_.set_tim_rx_enabled(true);
  emit link_changed();
  return true;
}

void Device::close_serial() {
  serial_.close();
  link_.state().serial_open = false;
  emit link_changed();
}

void Device::connect_tcp(const QString& host, quint16 port) {
  link_.state().eth_connected = false;
  connecting_ = true;
  if (host.isEmpty()) {
    // Nothing to try: the attempt fails at its time-out like one where nothing answers.
    tcp_name_ = QStringLiteral("Ethernet");
    tcp_.close();
  } else {
    tcp_name_ = host_and_port(host, port);
    tcp_.connect_to(host, port);
  }
  emit link_changed();
}

void Device::close_tcp() {
  tcp_.close();
  link_.state().eth_connected = false;
  connecting_ = false;
  emit link_changed();
}

void Device::end_tcp(LinkEnd why, const QString& reason) {
  const bool was_open = link_.state().eth_connected || connecting_;
  close_tcp();
  if (was_open) emit link_ended(why, reason);
}

void Device::on_tcp_closed() {
  // A restart drops the connection on purpose; it is closed as that ends.
  if (restarting_ || !link_.state().eth_connected || tcp_.is_connected()) return;
  // What the device said before it closed (its "EXT", say) is handled first.
  link_.drain_tcp();
  if (!link_.state().eth_connected) return;
  const QString reason = closed_reason(opened_.elapsed(), QStringLiteral("tcp ") + tcp_name_, &taken_by_hub_);
  end_tcp(LinkEnd::Lost, reason);
}

QString Device::closed_reason(qint64 open_ms, const QString& target, bool* by_hub) {
  if (by_hub) *by_hub = false;
  const QString closed = QStringLiteral("the device closed the connection");
  if (open_ms > kThrownOffMs) return closed;
  // The device serves one connection: a newcomer takes it from whoever had it.
  const QString soon = QStringLiteral("%1 %2 s after it opened: ").arg(closed, QString::number(open_ms / 1000.0, 'f', 1));
  const std::optional<HubPresence> hub = running_hub(target);
  if (by_hub) *by_hub = hub && hub->target == target;
  if (hub && hub->target == target)
    return soon + QStringLiteral("another client took the device's one connection: the quadrel-hub on this machine "
                                 "holds it; go through the hub's protocol port %1 or its API %2")
                      .arg(hub->protocol, hub->api);
  QString reason = soon + QStringLiteral("another client has likely taken the device's one connection");
  if (hub)
    reason += QStringLiteral(" (a quadrel-hub on this machine, protocol port %1, API %2, holds %3)")
                  .arg(hub->protocol, hub->api, hub->target);
  return reason;
}

bool Device::link_open() const {
  const LinkState& st = link_.state();
  return st.iface == 0 ? st.serial_open : st.eth_connected;
}

QString Device::link_name() const {
  if (iface() == 0) return serial_name_.isEmpty() ? QStringLiteral("RS-232") : serial_name_;
  return tcp_name_.isEmpty() ? QStringLiteral("Ethernet") : tcp_name_;
}

// --- exchanges ---------------------------------------------------------------

QCoro::Task<ExchangeOutcome> Device::exchange(std::string command) {
  const Hold hold(*this);
  const ExchangeOutcome outcome = co_await link_.tx_cmd(command);
  follow_command(command, outcome);
  co_return outcome;
}

QCoro::Task<bool> Device::send_nowait(std::string command) {
  const Hold hold(*this);
  co_return co_await link_.tx_nowait(std::move(command));
}

void Device::shut_down() {
  follow_timer_.stop();
  pending_ = {};
  link_.shut_down();
}

QCoro::Task<ExchangeOutcome> Device::await_late_reply() {
  // A reply that comes after the exchange gave up is handled by the receive
  // paths and sets the flag, which ends this wait.
  co_await link_.waits().until([this] { return answered(); }, kLateReplyMs);
  if (answered()) co_return ExchangeOutcome::Answered;
  co_return link_open() && !link_.shutting_down() ? ExchangeOutcome::NoAnswer : ExchangeOutcome::LinkLost;
}

// --- what follows a change -----------------------------------------------------

void Device::follow_command(std::string_view command, ExchangeOutcome outcome) {
  const Parameter* row = parameter(reply::code_of(command));
  if (!row || is_query(command)) return;
  if (outcome == ExchangeOutcome::DeviceError) {
    // A refused recall still reloads what it would have changed; a refused
    // restart restarts nothing.
    const std::optional<CheckedLine> checked = check_line(command);
    if (!row->restarts) schedule(follow_ups_of_refusal(*row, checked ? checked->value : -1));
  } else if (outcome == ExchangeOutcome::NoAnswer && row->late_reply) {
    // Its answer may still come, as a line of its own: it is the setting's.
    late_code_ = std::string(row->code);
    late_since_.start();
  }
}

void Device::schedule(Reads reads, bool restart) {
  // A link that closed is read whole when it opens again (a restart's
  // command closes a TCP link before its outcome is known).
  if (reads.empty() || !link_open()) return;
  pending_ = pending_ | reads;
  restart_first_ = restart_first_ || restart;
  arm_follow_ups();
}

void Device::arm_follow_ups() {
  if (pending_.empty() || operations_ > 0 || link_.shutting_down()) return;
  if (!automatic_) {
    emit follow_ups_pending();
    return;
  }
  if (!follow_timer_.isActive()) follow_timer_.start(0);
}

void Device::set_follow_ups_automatic(bool automatic) {
  automatic_ = automatic;
  if (!automatic) follow_timer_.stop();
  arm_follow_ups();
}

bool Device::idle() const { return operations_ == 0 && !link_.active() && !link_.shutting_down(); }

QCoro::Task<bool> Device::run_follow_ups() {
  if (!idle()) co_return false;
  // Nobody asked to change the selected output: it is selected again after the routing is read.
  const std::optional<int> selected = state().channel;
  const bool all = co_await flush_follow_ups();
  if (all && selected) co_await select_again(*selected);
  co_return all;
}

QCoro::Task<bool> Device::run_next_follow_up() {
  const Hold hold(*this);
  follow_timer_.stop();
  co_return co_await follow_up_step() == Step::Done;
}

QCoro::Task<Device::Step> Device::follow_up_step() {
  if (pending_.empty()) co_return Step::Done;
  if (!link_open() || link_.shutting_down()) {
    pending_ = {};
    restart_first_ = false;
    co_return Step::Failed;
  }
  if (link_.state().tx_busy) co_return Step::Failed;
  if (std::exchange(restart_first_, false)) {
    const bool back = co_await await_device_back();
    if (!back) {
      pending_ = {};
      co_return Step::Failed;
    }
  }
  Read next = Read::None;
  for (const Read read : kFollowUpOrder) {
    if (pending_.has(read)) {
      next = read;
      break;
    }
  }
  if (next == Read::None) {
    pending_ = {};
    co_return Step::Done;
  }
  // Everything covers the rest.
  pending_ = next == Read::Everything ? Reads() : pending_.without(next);
  const bool whole = co_await read(next);
  // A sequence that went unanswered ends the others: the device is not there.
  if (!(next == Read::Everything ? whole : answered())) {
    pending_ = {};
    co_return Step::Failed;
  }
  co_return pending_.empty() ? Step::Done : Step::More;
}

QCoro::Task<bool> Device::flush_follow_ups() {
  const Hold hold(*this);
  follow_timer_.stop();
  for (;;) {
    const Step step = co_await follow_up_step();
    if (step != Step::More) co_return step == Step::Done;
  }
}

QCoro::Task<bool> Device::await_device_back() {
  const std::string query = query_command(row_of(Aspect::Power));
  QElapsedTimer waited;
  waited.start();
  while (link_open() && !link_.shutting_down() && waited.elapsed() < kRestartWaitMs) {
    co_await link_.tx_cmd(query);
    if (answered()) co_return true;
    if (link_open()) co_await link_.waits().sleep(kRestartPollMs);
  }
  co_return false;
}

// --- reading the device ------------------------------------------------------

QCoro::Task<bool> Device::read(Read what) {
  const Hold hold(*this);
  switch (what) {
    case Read::Everything:
      co_return co_await read_everything();
    case Read::Map:
      // After a mode change: the TV Wall shows one input, read through output A.
      if (disp_mode() == mode_no::TvWall) {
        co_await link_.tx_cmd(set_command(row_of(Aspect::Channel), 1));
        if (answered()) co_await link_.tx_cmd(query_command(row_of(Aspect::Routing)));
        co_return answered();
      }
      co_return co_await map_refresh();
    case Read::Picture:
      co_await picture_refresh();
      co_return answered();
    case Read::Network:
      co_return co_await query_network();
    default:
      co_return co_await read_group(what);
  }
}

QCoro::Task<bool> Device::read_group(Read group) {
  const Hold hold(*this);
  const int mode = state().mode.value_or(mode_no::Matrix);
  // A refresh reads the limits anew: one still awaited is not.
  if (group == Read::Bezel) forget_bezel_limits();
  const Parameter* rows[16];
  std::size_t n = 0;
  for_each_in(group, [&](const Parameter& p) {
    if (n < std::size(rows)) rows[n++] = &p;
    return true;
  });
  for (std::size_t i = 0; i < n; ++i) {
    const Parameter& p = *rows[i];
    if (!p.exists_in(mode)) continue;
    if (p.has_query(query::Current)) {
      co_await link_.tx_cmd(query_command(p));
      if (!answered()) co_return false;
    }
    if (p.has_query(query::Channel)) {
      for (int ch = 1; ch <= p.channels; ++ch) {
        co_await link_.tx_cmd(query_command(p, ch));
        if (!answered()) co_return false;
      }
    }
  }
  // The limits after the values, so that a limit applies to the value read.
  for (std::size_t i = 0; i < n; ++i) {
    if (!rows[i]->has_query(query::Limit)) continue;
    co_await query_bezel_limit(rows[i]->aspect_index);
    if (!answered()) co_return false;
  }
  co_return true;
}

QCoro::Task<bool> Device::refresh(bool picture) {
  const Hold hold(*this);
  const FullRead full(*this);
  const int before = unanswered_;
  bool settings_read = false;
  selected_before_ = 0;
  static constexpr Read kSettings[] = {Read::Versions, Read::Audio, Read::Bezel, Read::Settings,
                                       Read::Resolution, Read::Mode, Read::Channel};
  bool groups = true;
  for (const Read group : kSettings) {
    groups = co_await read_group(group);
    if (!groups) break;
  }
  if (groups) {
    // TV Wall shows one picture on every output: there is no output to select.
    if (disp_mode() != mode_no::TvWall) selected_before_ = state().channel.value_or(0);
    co_await read_group(Read::Aspect);
    settings_read = true;
    // The routing map and the picture rows are read whatever the aspect's query brought.
    co_await map_refresh();
    if (picture && link_open()) co_await picture_refresh();
  }
  co_return unanswered_ == before && settings_read;
}

QCoro::Task<bool> Device::read_everything() {
  const Hold hold(*this);
  const FullRead full(*this);
  const int before = unanswered_;
  const bool refreshed = co_await refresh(true);
  if (refreshed) {
    // Each tool window's read runs on its own, as each window does when it opens.
    co_await hdcp_refresh();
    co_await label_in_refresh();
    co_await dual_pip_refresh();
    co_await query_network();
  }
  const bool all = unanswered_ == before;
  // The output the device had selected is selected again.
  if (all) co_await select_again(selected_before_);
  co_return all;
}

QCoro::Task<> Device::select_again(int channel) {
  if (channel < 1 || channel > 4 || !link_open() || disp_mode() == mode_no::TvWall || state().channel == channel)
    co_return;
  co_await exchange(set_command(row_of(Aspect::Channel), channel));
}

QCoro::Task<bool> Device::map_refresh() {
  const Hold hold(*this);
  const Parameter& out = row_of(Aspect::Channel);
  const std::string input = query_command(row_of(Aspect::Routing));
  for (int ch = 1; ch <= 4; ++ch) {
    co_await link_.tx_cmd(set_command(out, ch));
    if (!answered()) co_return false;
    co_await link_.tx_cmd(input);
    if (!answered()) co_return false;
  }
  co_return true;
}

QCoro::Task<bool> Device::picture_refresh() {
  const Hold hold(*this);
  const int before = unanswered_;
  switch (disp_mode()) {
    case mode_no::Matrix:
      for (int which = 0; which < 4; ++which) {
        co_await link_.tx_cmd(query_command(picture_row(which)));
        if (!answered() && which != 3) break;
      }
      break;
    case mode_no::DualPop:
    case mode_no::TvWall:
    case mode_no::Quad: {
      bool stop = false;
      for (int n = 1; n <= 4 && !stop; ++n) {
        for (int which = 0; which < 4; ++which) {
          // An unanswered saturation query does not stop the next output's
          // queries, unless the link has closed.
          co_await link_.tx_cmd(query_command(picture_row(which), n));
          if (!answered() && (which != 3 || !link_open())) {
            stop = true;
            break;
          }
        }
      }
      break;
    }
    default:
      break;
  }
  co_return unanswered_ == before;
}

QCoro::Task<bool> Device::query_network() {
  const Hold hold(*this);
  for (int which = 0; which < 3; ++which) {
    const ExchangeOutcome outcome = co_await query_network_setting(which);
    if (outcome != ExchangeOutcome::Answered) co_return false;
  }
  co_return true;
}

QCoro::Task<ExchangeOutcome> Device::query_network_setting(int which) {
  const Hold hold(*this);
  LinkState& st = link_.state();
  // Armed only for a query that goes out: while another exchange is under
  // way its replies must not be taken for answers.
  if (which < 0 || which > 2) co_return ExchangeOutcome::NoAnswer;
  const std::string command = query_command(row_of(Aspect::Network, which));
  if (st.tx_busy) co_return ExchangeOutcome::Busy;
  // The answer is a bare address; a refusal still says "ERR", which ends the wait.
  auto refused = std::make_shared<bool>(false);
  const auto watch = connect(&link_, &DeviceLink::line_received, this, [refused](const QByteArray& line) {
    if (line.startsWith(code::ERR.data())) *refused = true;
  });
  st.getip_state = which;
  ExchangeOutcome outcome = ExchangeOutcome::LinkClosed;
  const bool sent = co_await link_.tx_nowait(command);
  if (sent) {
    // Both receive paths take exactly 16 characters as the answer while the
    // query is pending.
    // (The wait's condition holds no share of the flag: GCC 12 releases a
    // capture of a co_await's operand once too often.)
    const bool* refusal = refused.get();
    co_await link_.waits().until([&st, refusal, this] { return st.getip_state == 3 || *refusal || !link_open(); },
                                 kNetAnswerMs);
    if (st.getip_state == 3) {
      outcome = ExchangeOutcome::Answered;
      const std::string answer = link_.take_net_answer();
      if (const auto change = model_.apply_network(which, answer)) emit changed(change->aspect, change->index);
    } else {
      outcome = *refused ? ExchangeOutcome::DeviceError
                         : link_open() && !link_.shutting_down() ? ExchangeOutcome::NoAnswer
                                                                 : ExchangeOutcome::LinkLost;
    }
  }
  disconnect(watch);
  st.getip_state = 254;
  // Bytes that came in while the query was pending are handled now.
  if (!link_.shutting_down()) link_.resume_input();
  if (!went_through(outcome)) ++unanswered_;
  emit exchange_ended(QString::fromStdString(command), outcome);
  co_return outcome;
}

QCoro::Task<ExchangeOutcome> Device::query_bezel_limit(int axis) {
  const Hold hold(*this);
  model_.expect_bezel_limit(axis);
  const ExchangeOutcome outcome = co_await link_.tx_cmd(cmd::query_limit(row_of(Aspect::Bezel, axis).code));
  // Answered (the reply ended the mark), refused or not sent: no limit is on
  // its way. Only a query the device left unanswered may still be answered.
  if (outcome != ExchangeOutcome::NoAnswer) model_.end_bezel_limit(axis);
  co_return outcome;
}

void Device::forget_bezel_limits() {
  model_.end_bezel_limit(0);
  model_.end_bezel_limit(1);
}

// --- what a user does --------------------------------------------------------

QCoro::Task<ExchangeOutcome> Device::set(Aspect aspect, int index, int value) {
  const Parameter* row = parameter_of(aspect, index);
  if (!row) co_return ExchangeOutcome::NoAnswer;
  const std::string command = set_command(*row, value, row->aspect_index >= 0 ? 0 : index, disp_mode());
  if (command.empty()) co_return ExchangeOutcome::NoAnswer;
  co_return co_await exchange(command);
}

QCoro::Task<ExchangeOutcome> Device::set_mode(int mode) {
  const Hold hold(*this);
  emit mode_change_started(mode);
  ExchangeOutcome outcome = ExchangeOutcome::NoAnswer;
  const std::string command = set_command(row_of(Aspect::Mode), mode);
  if (!command.empty()) {
    outcome = co_await exchange(command);
    // The device may answer only after it has recomposed its outputs.
    if (!answered()) outcome = co_await await_late_reply();
    // What the new mode shows is read now: its answer asked for it.
    if (answered()) co_await flush_follow_ups();
  }
  emit mode_change_finished(mode);
  co_return outcome;
}

QCoro::Task<std::optional<ExchangeOutcome>> Device::select_output(int channel) {
  if (disp_mode() == mode_no::TvWall || channel < 1 || channel > 4) co_return std::nullopt;
  const Hold hold(*this);
  emit output_chosen(channel);
  const ExchangeOutcome outcome = co_await exchange(set_command(row_of(Aspect::Channel), channel));
  co_await link_.tx_cmd(query_command(row_of(Aspect::Routing)));
  co_return outcome;
}

QCoro::Task<ExchangeOutcome> Device::read_resolution() { return exchange(query_command(row_of(Aspect::Resolution))); }

bool Device::resolution_allowed(int number) const {
  return disp_mode() == mode_no::Matrix || !is_interlaced_1080(number);
}

QCoro::Task<bool> Device::send_picture(Adjustment adjustment, int row, int value) {
  std::string command = set_command(picture_row(static_cast<int>(adjustment)), value, row, disp_mode());
  if (command.empty()) co_return false;
  co_return co_await send_nowait(std::move(command));
}

QCoro::Task<ExchangeOutcome> Device::reset_picture() { return exchange(set_command(row_of(Aspect::PictureReset), 2)); }

QCoro::Task<bool> Device::send_bezel(int axis, int value) {
  std::string command = set_command(row_of(Aspect::Bezel, axis), value);
  if (command.empty()) co_return false;
  co_return co_await send_nowait(std::move(command));
}

QCoro::Task<ExchangeOutcome> Device::toggle_audio() { return set_audio(audio_state_ != 1); }

QCoro::Task<ExchangeOutcome> Device::set_audio(bool on) {
  audio_state_ = on ? 1 : 0;
  return exchange(set_command(row_of(Aspect::AudioOn), on ? 1 : 0));
}

QCoro::Task<ExchangeOutcome> Device::set_power(bool on) {
  pwr_state_ = on ? 1 : 0;
  return exchange(set_command(row_of(Aspect::Power), on ? 1 : 0));
}

QCoro::Task<ExchangeOutcome> Device::toggle_lock() { return set_lock(lock_state_ != 1); }

QCoro::Task<ExchangeOutcome> Device::set_lock(bool locked) {
  lock_state_ = locked ? 1 : 0;
  return exchange(set_command(row_of(Aspect::KeyLock), locked ? 1 : 0));
}

QCoro::Task<ExchangeOutcome> Device::press_menu_key(MenuKey key) {
  const std::span<const Parameter> keys = menu_keys();
  const auto k = static_cast<std::size_t>(key);
  if (k >= keys.size()) co_return ExchangeOutcome::NoAnswer;
  co_return co_await exchange(set_command(keys[k], 1));
}

QCoro::Task<ExchangeOutcome> Device::save_preset(int preset) {
  const Hold hold(*this);
  ExchangeOutcome outcome = co_await exchange(set_command(row_of(Aspect::PresetSaved), preset));
  if (!answered()) outcome = co_await await_late_reply();
  co_return outcome;
}

QCoro::Task<ExchangeOutcome> Device::recall_preset(int preset) {
  const Hold hold(*this);
  ExchangeOutcome outcome = co_await exchange(set_command(row_of(Aspect::PresetRecalled), preset));
  if (!answered()) outcome = co_await await_late_reply();
  // Answered, also by "ERR": the preset may bring another mode, which is read
  // first (its report relabels the window), then what it shows.
  if (answered()) co_await flush_follow_ups();
  co_return outcome;
}

QCoro::Task<ExchangeOutcome> Device::factory_reset() { return exchange(set_command(row_of(Aspect::FactoryReset), 1)); }

QCoro::Task<ExchangeOutcome> Device::set_label(int input, std::string text) {
  return exchange(cmd::label_set(row_of(Aspect::Label).code, input, text));
}

}  // namespace quadrel
