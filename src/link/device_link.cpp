#include "link/device_link.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMetaMethod>
#include <algorithm>
#include <utility>

#include "link/core/catalogue.h"
#include "link/core/parameters.h"

namespace quadrel {

namespace {
// Counts what of the link is on the stack while it lives.
struct Active {
  explicit Active(int& n) : n_(n) { ++n_; }
  ~Active() { --n_; }
  int& n_;
};

constexpr int kConsoleLimit = 80;   // additions before the console is emptied
constexpr int kSerialPasses = 300;  // wait limits of `tx_cmd`, in passes of 2 ms
constexpr int kEthernetPasses = 600;
constexpr int kPassMs = 2;          // a pass of the panel's 1 ms wait: the clock must move 2 ms

const QMetaMethod& line_received_signal() {
  static const QMetaMethod signal = QMetaMethod::fromSignal(&DeviceLink::line_received);
  return signal;
}

const QMetaMethod& report_received_signal() {
  static const QMetaMethod signal = QMetaMethod::fromSignal(&DeviceLink::report_received);
  return signal;
}

const QMetaMethod& bytes_received_signal() {
  static const QMetaMethod signal = QMetaMethod::fromSignal(&DeviceLink::bytes_received);
  return signal;
}

// A command after which the device restarts ("PWR001", "RST001").
bool is_reboot_command(std::string_view tx_str) {
  if (tx_str.size() != 6) return false;
  const Parameter* row = parameter(reply::code_of(tx_str));
  return row && row->restarts && reply::last_digits(tx_str, 3) == row->restart_value;
}
}  // namespace

DeviceLink::DeviceLink(QObject* parent) : QObject(parent) {
  // The poll runs when bytes have arrived (the port's ready-read), as soon as
  // the event loop gets to it, instead of waking every millisecond while idle.
  tim_rx_.setSingleShot(true);
  tim_rx_.setInterval(0);
  connect(&tim_rx_, &QTimer::timeout, this, &DeviceLink::tim_rx_Timer);
  tcp_rx_.setSingleShot(true);
  tcp_rx_.setInterval(0);
  connect(&tcp_rx_, &QTimer::timeout, this, &DeviceLink::wsk_client_DataArrival);
}

DeviceLink::~DeviceLink() {
  // Whatever still awaits the link ends before any of it goes.
  shut_down();
  set_serial(nullptr);
  set_tcp(nullptr);
}

void DeviceLink::set_serial(ByteLink* serial) {
  if (serial_) {
    serial_->on_ready_read = nullptr;
    serial_->on_lost = nullptr;
    serial_->on_written = nullptr;
  }
  serial_ = serial;
  if (!serial_) return;
  serial_->on_ready_read = [this] {
    // While a command waits and no handler runs, its reply is read at once:
    // one turn of the event loop less for every exchange. Otherwise the poll
    // runs on its own turn, so handlers never run inside the port's signal.
    if (waiting_ && handler_depth_ == 0 && tim_rx_enabled_ && !closing_ && !tim_rx_.isActive())
      tim_rx_Timer();
    else
      schedule_serial_tick();
  };
  serial_->on_lost = [this](const std::string& reason) { lose_serial(reason); };
  // A send waits for the port to hand on what it holds.
  serial_->on_written = [this] { waits_.poke(); };
}

void DeviceLink::set_tcp(ByteLink* tcp) {
  if (tcp_) tcp_->on_ready_read = nullptr;
  tcp_ = tcp;
  if (tcp_) tcp_->on_ready_read = [this] { schedule_input(ReplyPath::Ethernet); };
}

void DeviceLink::shut_down() {
  closing_ = true;
  tim_rx_.stop();
  tcp_rx_.stop();
  // Every exchange or wait under way ends now, and the sequences awaiting
  // them run on to their end (nothing more is sent: the link is closing).
  waits_.end_all();
}

// --- console ---------------------------------------------------------------

void DeviceLink::cmd_clear_Click() {
  echo_.clear();
  if (console_) console_->clear();
  st_.con_lines = 0;
}

void DeviceLink::console_add(std::string_view text) {
  flush_echo();
  if (st_.con_lines > kConsoleLimit) cmd_clear_Click();
  if (console_) console_->append(text);
  ++st_.con_lines;
}

void DeviceLink::echo(const std::string& text, ReplyPath path) {
  // The receive paths collect their echo and show it once per pass: a flood
  // of noise lines costs the console one update, not one per line.
  if (path == ReplyPath::Serial && st_.con_lines > kConsoleLimit) cmd_clear_Click();
  echo_ += text;
  echo_ += ' ';
  ++st_.con_lines;
  // The Ethernet path counts first and clears afterwards.
  if (path == ReplyPath::Ethernet && st_.con_lines > kConsoleLimit) cmd_clear_Click();
}

void DeviceLink::flush_echo() {
  if (echo_.empty()) return;
  const std::string text = std::exchange(echo_, {});
  if (console_) console_->append(text);
}

// --- sending ---------------------------------------------------------------

bool DeviceLink::link_ready_or_report() {
  if (st_.iface == 0 && !st_.serial_open) {
    if (notifier_) notifier_->message(kSerialDisconnected, MessageIcon::Error);
    return false;
  }
  if (st_.iface == 1 && !st_.eth_connected) {
    if (notifier_) notifier_->message(kEthernetDisconnected, MessageIcon::Error);
    return false;
  }
  return true;
}

bool DeviceLink::link_open() const {
  if (st_.iface == 0) return st_.serial_open;
  if (st_.iface == 1) return st_.eth_connected;
  return true;
}

bool DeviceLink::port_draining() const {
  return st_.iface == 0 && serial_ && serial_->is_open() && serial_->bytes_to_write() > 0;
}

Waits::Until DeviceLink::port_drained() {
  // A port that never hands its bytes on is dead.
  return waits_.until([this] { return !serial_->is_open() || serial_->bytes_to_write() == 0; }, kDrainLimitMs);
}

bool DeviceLink::send_line(const std::string& line) {
  if (st_.iface == 0) {
    // The port must have handed its earlier bytes on (see port_drained()).
    const bool drained = serial_ && serial_->is_open() && serial_->bytes_to_write() == 0 && !closing_;
    if (!drained || !serial_->write(line)) {
      st_.tx_busy = false;
      // A port lost meanwhile has been reported already.
      if (st_.serial_open && !closing_)
        lose_serial(drained ? "the port refused the bytes" : "the port sends nothing");
      return false;
    }
    return true;
  }
  if (st_.iface == 1 && tcp_) tcp_->write(line);
  return true;
}

void DeviceLink::lose_serial(const std::string& reason) {
  if (serial_) serial_->close();
  if (!st_.serial_open) return;
  // Closed at once: nothing is written to or polled on a dead port again. A
  // waiting exchange ends with the link; the buttons show it before the message.
  st_.serial_open = false;
  waits_.poke();
  emit serial_lost(QString::fromStdString(reason));
  if (notifier_ && !closing_)
    notifier_->message(reason.empty() ? std::string(kSerialDisconnected)
                                      : std::string(kSerialDisconnected) + "\n" + reason,
                       MessageIcon::Error);
}

ExchangeOutcome DeviceLink::end_exchange(std::string_view tx_str, ExchangeOutcome outcome) {
  st_.last_outcome = outcome;
  emit exchange_ended(QString::fromLatin1(tx_str.data(), static_cast<qsizetype>(tx_str.size())), outcome);
  return outcome;
}

QCoro::Task<ExchangeOutcome> DeviceLink::tx_cmd(std::string tx_str) {
  st_.rx_flag = false;
  last_reply_.clear();
  if (closing_) co_return end_exchange(tx_str, ExchangeOutcome::LinkClosed);
  if (!link_ready_or_report()) co_return end_exchange(tx_str, ExchangeOutcome::LinkClosed);
  if (st_.tx_busy) co_return end_exchange(tx_str, ExchangeOutcome::Busy);

  const Active active(active_);
  sending_ = tx_str;
  console_add(tx_str + ">");
  framer_.clear_line();
  line_held_ = false;
  st_.rx_flag = false;
  st_.tx_busy = true;
  // From here on a line with another code is no answer to this command: the
  // receive paths hand it to its handler and the wait goes on.
  waiting_ = true;
  waiting_code_ = reply::code_of(tx_str);

  int limit = 0;
  // Awaited here, not in a coroutine of its own: one frame per exchange.
  if (port_draining()) co_await port_drained();
  if (st_.iface == 0) {
    if (!send_line(tx_str + "\r")) {
      waiting_ = false;
      sending_.clear();
      co_return end_exchange(tx_str, ExchangeOutcome::LinkLost);
    }
    limit = kSerialPasses;
    set_tim_rx_enabled(true);
  } else if (st_.iface == 1) {
    send_line(tx_str + "\r");
    if (is_reboot_command(tx_str)) {
      // The device restarts: what it still says within a second is taken,
      // then the connection ends (the listeners of `ethernet_reboot`).
      limit = 0;
      emit reboot_sent();
      co_await waits_.sleep(kRebootWaitMs);
      if (!closing_) emit ethernet_reboot();
    } else {
      limit = kEthernetPasses;
    }
  }

  // The wait ends with the reply, or at once when the link is closed meanwhile
  // (a lost connection, the device's "EXT"): no reply can come then.
  if (!line_held_)
    co_await waits_.until([this] { return line_held_ || !link_open(); }, (limit + 1) * kPassMs);
  waiting_ = false;
  if (closing_) {
    // Shut down meanwhile: the exchange ends unanswered, nothing is handled.
    st_.tx_busy = false;
    sending_.clear();
    co_return end_exchange(tx_str, ExchangeOutcome::LinkLost);
  }

  st_.rx_flag = true;
  // The reply leaves the buffer before its handler runs, so bytes that arrive
  // meanwhile are framed on their own. A partial line is no reply and is dropped.
  std::string line;
  if (line_held_) line = framer_.buf();
  framer_.clear_line();
  line_held_ = false;
  const std::string code(reply::code_of(line));
  ExchangeOutcome outcome = ExchangeOutcome::Answered;
  if (code == code::ERR) {
    // Refused by the device: no handler, but it counts as an answer.
    outcome = ExchangeOutcome::DeviceError;
    last_reply_ = line;
  } else if (code.empty() || code != reply::code_of(tx_str)) {
    st_.rx_flag = false;
    outcome = link_open() ? ExchangeOutcome::NoAnswer : ExchangeOutcome::LinkLost;
  } else {
    last_reply_ = line;
    run_handler(line, ReplyPath::Exchange);
  }
  // What the caller reads: the lines handled below answer nothing it sent.
  const bool answered = st_.rx_flag;

  st_.tx_busy = false;
  sending_.clear();
  const ReplyPath path = input_path();
  if (st_.iface == 0) set_tim_rx_enabled(true);
  // A reply that completed while the handler ran, and those behind it, are
  // handled now, in order.
  if (line_held_) {
    line_held_ = false;
    dispatch_line(path);
  }
  process_input(path);
  st_.rx_flag = answered;
  co_return end_exchange(tx_str, outcome);
}

QCoro::Task<bool> DeviceLink::tx_nowait(std::string p) {
  if (closing_) co_return false;
  if (!link_ready_or_report()) co_return false;
  if (st_.tx_busy) co_return false;
  const Active active(active_);
  st_.tx_busy = true;
  framer_.clear_line();
  line_held_ = false;

  if (port_draining()) co_await port_drained();
  if (!send_line(p + "\r")) co_return false;
  st_.tx_busy = false;
  if (closing_) co_return true;

  // Its reply, and whatever came meanwhile, is handled by the receive paths.
  const ReplyPath path = input_path();
  if (line_held_) {
    line_held_ = false;
    dispatch_line(path);
  }
  if (st_.iface == 0) set_tim_rx_enabled(true);
  process_input(path);
  co_return true;
}

void DeviceLink::reset_exchange() {
  st_.tx_busy = false;
  st_.rx_flag = false;
  framer_.reset();
  line_held_ = false;
  behind_ = false;
  net_answer_.clear();
}

std::string DeviceLink::take_net_answer() {
  if (st_.getip_state == 3) st_.getip_state = 254;
  return std::exchange(net_answer_, {});
}

void DeviceLink::resume_input() {
  process_input(input_path());
  if (st_.iface == 0 && tim_rx_enabled_) schedule_serial_tick();
  // Whatever that input ends is resumed from the event loop, not from here.
  waits_.poke();
}

// --- receiving -------------------------------------------------------------

void DeviceLink::set_tim_rx_enabled(bool enabled) {
  tim_rx_enabled_ = enabled;
  if (!enabled) {
    tim_rx_.stop();
    return;
  }
  schedule_serial_tick();
}

void DeviceLink::schedule_serial_tick() {
  if (closing_ || !tim_rx_enabled_ || tim_rx_.isActive()) return;
  const bool waiting = (serial_ && serial_->is_open() && serial_->bytes_available() > 0) ||
                       (st_.iface == 0 && framer_.has_pending());
  if (waiting) tim_rx_.start(next_pass_delay());
}

void DeviceLink::schedule_input(ReplyPath path) {
  if (path != ReplyPath::Ethernet) return schedule_serial_tick();
  if (!closing_ && !tcp_rx_.isActive()) tcp_rx_.start(next_pass_delay());
}

int DeviceLink::next_pass_delay() const { return behind_ ? kRestMs : 0; }

void DeviceLink::tim_rx_Timer() {
  serial_pass();
  // Last: a sequence whose reply came sends its next command from here.
  waits_.check();
}

void DeviceLink::serial_pass() {
  const Active active(active_);
  const bool port_bytes = serial_ && serial_->is_open() && serial_->bytes_available() > 0;
  if (!port_bytes && !framer_.has_pending()) return;
  set_tim_rx_enabled(false);
  if (serial_ && serial_->is_open()) take_bytes(serial_->read_all());
  process_input(ReplyPath::Serial);
  if (!line_held_) set_tim_rx_enabled(true);
}

void DeviceLink::wsk_client_DataArrival() {
  tcp_pass();
  waits_.check();
}

void DeviceLink::drain_tcp() {
  tcp_pass();
  waits_.poke();
}

void DeviceLink::tcp_pass() {
  const Active active(active_);
  const std::string chunk = tcp_ ? tcp_->read_all() : std::string();
  if (chunk.empty() && !framer_.has_pending()) return;
  take_bytes(chunk);
  const int before = st_.con_lines;
  process_input(ReplyPath::Ethernet);
  // Every chunk counts as an addition, echoed or not.
  if (!chunk.empty() && st_.con_lines == before) ++st_.con_lines;
}

bool DeviceLink::may_pass_over(std::string_view code, ReplyPath path) const {
  // The device ending the connection, and the reply that someone sending is
  // owed, are never passed over: the link's state and the exchange hang on them.
  if (path == ReplyPath::Ethernet && code == code::EXT) return false;
  if (st_.tx_busy && (!waiting_ || code == waiting_code_ || code == code::ERR)) return false;
  return true;
}

void DeviceLink::take_bytes(const std::string& bytes) {
  if (!bytes.empty() && isSignalConnected(bytes_received_signal()))
    emit bytes_received(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
  framer_.push(bytes);
}

void DeviceLink::process_input(ReplyPath path) {
  const bool serial = path == ReplyPath::Serial;
  QElapsedTimer slice;
  slice.start();
  if (const std::size_t dropped = framer_.take_dropped())
    echo("[" + std::to_string(dropped) + " bytes of unread input dropped]", path);

  // Behind a device that sends more lines than their handlers get through in
  // their share of the time, the oldest lines waiting are stale: only the
  // newest are kept (kBacklogKept, or about what one slice handles while a
  // command waits), the rest is passed over (counted, not handled). Framing
  // them costs next to nothing; handling them would keep the window busy for
  // ever and hold up the reply a command waits for.
  std::size_t stale = 0;
  if (behind_) {
    const std::size_t keep = std::max(waiting_ ? kBacklogKeptWhileWaiting : kBacklogKept, slice_bytes_);
    const std::size_t waiting = framer_.pending_size();
    stale = waiting > keep ? waiting - keep : 0;
  }
  std::size_t passed_over = 0;
  std::size_t handled_bytes = 0;

  while (!line_held_) {
    if (slice.elapsed() >= kSliceMs) {
      // More input than one pass should take: the rest comes after the events
      // that are waiting (a click, a repaint), and after a rest, so that a
      // flood takes at most a share of the processor.
      behind_ = true;
      slice_bytes_ = handled_bytes;
      schedule_input(path);
      break;
    }
    const bool net_query = st_.getip_state >= 0 && st_.getip_state <= 2;
    const LineFramer::Step step = framer_.step(net_query);
    const std::size_t consumed = framer_.take_consumed();
    if (step == LineFramer::Step::NeedMore) {
      behind_ = false;
      // A partial reply is echoed on the serial path, growing with each read.
      if (serial && consumed > 0) echo(framer_.buf(), path);
      break;
    }
    if (stale > 0) {
      stale -= std::min(stale, consumed);
      if (step == LineFramer::Step::Line && may_pass_over(reply::code_of(framer_.buf()), path)) {
        ++passed_over;
        framer_.clear_line();
        continue;
      }
    }
    handled_bytes += consumed;
    if (serial || framer_.line_had_cr()) echo(framer_.buf(), path);
    if (step == LineFramer::Step::NetAnswer) {
      // Kept for the Get IP sequence, which takes it; the stream goes on.
      net_answer_ = framer_.buf();
      framer_.clear_line();
      st_.getip_state = 3;
      continue;
    }
    framer_.buf().pop_back();
    if (isSignalConnected(line_received_signal()))
      emit line_received(QByteArray(framer_.buf().data(), static_cast<qsizetype>(framer_.buf().size())));
    const std::string_view code = reply::code_of(framer_.buf());
    // Only a waiting `tx_cmd` takes a reply; a line that comes while a command
    // goes out without waiting (a network query) answers nobody's wait.
    const bool taken = st_.tx_busy && waiting_ && (code == waiting_code_ || code == code::ERR) &&
                       !(path == ReplyPath::Ethernet && code == code::EXT);
    if (!taken && isSignalConnected(report_received_signal()))
      emit report_received(QByteArray(framer_.buf().data(), static_cast<qsizetype>(framer_.buf().size())));
    if (path == ReplyPath::Ethernet && code == code::EXT) {
      // The device ends the connection: that answers no command, and whoever
      // waits must not take it for a reply.
      const bool busy = st_.tx_busy;
      dispatch_line(path);
      st_.tx_busy = busy;
      continue;
    }
    if (st_.tx_busy) {
      if (!waiting_ || code == waiting_code_ || code == code::ERR) {
        // Someone is sending: the reply is theirs.
        st_.rx_flag = true;
        line_held_ = true;
        break;
      }
      // A line the device sent on its own (a front-panel change) while a
      // command waits: handled as when idle; the command keeps waiting.
      const bool flag = st_.rx_flag;
      dispatch_line(path);
      st_.tx_busy = true;
      st_.rx_flag = flag;
      continue;
    }
    dispatch_line(path);
  }
  // A reply held for its command with nothing behind it: the input has been
  // caught up with, and the next pass need not rest first (it would, once
  // behind, for every exchange after).
  if (line_held_ && !framer_.has_pending()) behind_ = false;
  if (passed_over > 0)
    echo("[" + std::to_string(passed_over) + " reply lines dropped: they came faster than they could be handled]",
         path);
  flush_echo();
}

void DeviceLink::dispatch_line(ReplyPath path) {
  const std::string_view code = reply::code_of(framer_.buf());
  if (!table_.knows(code, path)) {
    // "ERR", a code without a handler, or line noise: shown in the console only.
    st_.rx_flag = path == ReplyPath::Ethernet && code == code::ERR;
    framer_.clear_line();
    return;
  }
  const std::string line = framer_.buf();
  framer_.clear_line();
  // The echo of the pass goes to the console at its end; a handler that sends
  // writes to the console through console_add, which shows what came before first.
  st_.rx_flag = true;
  run_handler(line, path);
}

bool DeviceLink::run_handler(const std::string& line, ReplyPath path) {
  // Handlers read the reply through rx_buf(); a handler that itself sends
  // sees its own reply there, and this one again when it returns.
  const Active active(active_);
  std::string outer = std::exchange(handler_line_, line);
  const ReplyPath outer_path = std::exchange(handler_path_, path);
  ++handler_depth_;
  const bool known = table_.dispatch(reply::code_of(line), path);
  --handler_depth_;
  handler_line_ = std::move(outer);
  handler_path_ = outer_path;
  return known;
}

}  // namespace quadrel
