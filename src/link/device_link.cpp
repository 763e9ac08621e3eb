#include "link/device_link.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <utility>

#include "link/core/catalogue.h"

namespace quadrel {

namespace {
constexpr int kConsoleLimit = 80;   // additions before the console is emptied
constexpr int kSerialPasses = 300;  // wait limits of `tx_cmd`, in passes of 2 ms
constexpr int kEthernetPasses = 600;
constexpr int kPassMs = 2;          // a pass of wait_sec(0.001): the clock must move 2 ms

bool is_reboot_command(std::string_view tx_str) {
  return tx_str == cmd::RST_FACTORY || tx_str == cmd::PWR_ON;
}
}  // namespace

DeviceLink::DeviceLink(QObject* parent) : QObject(parent) {
  // The poll runs when bytes have arrived (the port's ready-read), as soon as
  // the event loop gets to it, instead of waking every millisecond while idle.
  tim_rx_.setSingleShot(true);
  tim_rx_.setInterval(0);
  connect(&tim_rx_, &QTimer::timeout, this, &DeviceLink::tim_rx_Timer);
}

DeviceLink::~DeviceLink() {
  if (serial_) serial_->on_ready_read = nullptr;
  if (tcp_) tcp_->on_ready_read = nullptr;
}

void DeviceLink::set_serial(ByteLink* serial) {
  if (serial_) serial_->on_ready_read = nullptr;
  serial_ = serial;
  if (serial_) serial_->on_ready_read = [this] { schedule_serial_tick(); };
}

void DeviceLink::set_tcp(ByteLink* tcp) {
  if (tcp_) tcp_->on_ready_read = nullptr;
  tcp_ = tcp;
  if (tcp_) tcp_->on_ready_read = [this] { wsk_client_DataArrival(); };
}

// --- waiting ---------------------------------------------------------------

bool DeviceLink::wait_until(const std::function<bool()>& pred, int ms) {
  const bool outer_wait = st_.wait_busy;
  st_.wait_busy = true;
  const QDeadlineTimer deadline(ms, Qt::PreciseTimer);
  // Wakes the sleeping loop at the deadline when nothing else happens.
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  wake.start(ms);
  while (!pred() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  st_.wait_busy = outer_wait;
  return pred();
}

void DeviceLink::wait_sec(double x) {
  // More than x seconds on a millisecond clock: x = 0.001 lasts 2 ms.
  const int ms = static_cast<int>(x * 1000.0) + 1;
  wait_until([] { return false; }, ms);
}

void DeviceLink::pump_once() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

// --- console ---------------------------------------------------------------

void DeviceLink::cmd_clear_Click() {
  if (console_) console_->clear();
  st_.con_lines = 0;
}

void DeviceLink::console_add(std::string_view text) {
  if (st_.con_lines > kConsoleLimit) cmd_clear_Click();
  if (console_) console_->append(text);
  ++st_.con_lines;
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

bool DeviceLink::send_bytes(std::string_view line) {
  if (st_.iface == 0) {
    // The port must have handed its earlier bytes on; one that never does is dead.
    const bool drained =
        serial_ && serial_->is_open() &&
        wait_until([this] { return !serial_->is_open() || serial_->bytes_to_write() == 0; },
                   kDrainLimitMs) &&
        serial_->is_open();
    if (!drained || !serial_->write(line)) {
      if (serial_) serial_->close();
      st_.serial_open = false;
      st_.tx_busy = false;
      if (notifier_) notifier_->message(kSerialDisconnected, MessageIcon::Error);
      if (on_serial_lost) on_serial_lost();
      return false;
    }
    return true;
  }
  if (st_.iface == 1 && tcp_) tcp_->write(line);
  return true;
}

void DeviceLink::end_exchange(std::string_view tx_str, ExchangeOutcome outcome) {
  st_.last_outcome = outcome;
  if (on_exchange_end) on_exchange_end(tx_str, outcome);
}

void DeviceLink::tx_cmd(std::string_view tx_str_view) {
  const std::string tx_str(tx_str_view);
  st_.rx_flag = false;
  if (!link_ready_or_report()) return end_exchange(tx_str, ExchangeOutcome::LinkClosed);
  if (st_.tx_busy) return end_exchange(tx_str, ExchangeOutcome::Busy);

  console_add(tx_str + ">");
  framer_.clear_line();
  line_held_ = false;
  st_.rx_flag = false;
  st_.tx_busy = true;

  int limit = 0;
  if (st_.iface == 0) {
    if (!send_bytes(tx_str + "\r")) return end_exchange(tx_str, ExchangeOutcome::LinkLost);
    limit = kSerialPasses;
  } else if (st_.iface == 1) {
    send_bytes(tx_str + "\r");
    if (is_reboot_command(tx_str)) {
      limit = 0;
      if (on_ethernet_reboot) on_ethernet_reboot();
    } else {
      limit = kEthernetPasses;
    }
  }

  // The wait ends with the reply, or at once when the link is closed meanwhile
  // (a lost connection, the device's "EXT"): no reply can come then.
  if (!line_held_)
    wait_until([this] { return line_held_ || !link_open(); }, (limit + 1) * kPassMs);

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
  } else if (code.empty() || code != reply::code_of(tx_str)) {
    st_.rx_flag = false;
    outcome = link_open() ? ExchangeOutcome::NoAnswer : ExchangeOutcome::LinkLost;
  } else {
    run_handler(line, ReplyPath::Exchange);
  }

  st_.tx_busy = false;
  const ReplyPath path = st_.iface == 1 ? ReplyPath::Ethernet : ReplyPath::Serial;
  if (st_.iface == 0) {
    set_tim_rx_enabled(true);
    pump_once();
  }
  // A reply that completed while the handler ran, and those behind it, are
  // handled now, in order.
  if (line_held_) {
    line_held_ = false;
    dispatch_line(path);
  }
  process_input(path);
  end_exchange(tx_str, outcome);
}

void DeviceLink::tx_nowait(std::string_view p_view) {
  const std::string p(p_view);
  if (!link_ready_or_report()) return;
  if (st_.tx_busy) return;
  st_.tx_busy = true;
  framer_.clear_line();
  line_held_ = false;

  if (st_.iface == 0) {
    if (!send_bytes(p + "\r")) return;
    set_tim_rx_enabled(true);
  } else if (st_.iface == 1) {
    send_bytes(p + "\r");
  }
  pump_once();
  st_.tx_busy = false;

  // A reply that completed during the pump above had nobody waiting for it.
  const ReplyPath path = st_.iface == 1 ? ReplyPath::Ethernet : ReplyPath::Serial;
  if (line_held_) {
    line_held_ = false;
    dispatch_line(path);
  }
  process_input(path);
}

void DeviceLink::reset_exchange() {
  st_.tx_busy = false;
  st_.rx_flag = false;
  framer_.reset();
  line_held_ = false;
}

std::string DeviceLink::take_net_answer() {
  std::string answer = framer_.buf();
  framer_.clear_line();
  if (st_.getip_state == 3) st_.getip_state = 254;
  resume_input();
  return answer;
}

void DeviceLink::resume_input() {
  process_input(st_.iface == 1 ? ReplyPath::Ethernet : ReplyPath::Serial);
  if (st_.iface == 0 && tim_rx_enabled_) schedule_serial_tick();
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
  if (!tim_rx_enabled_ || tim_rx_.isActive()) return;
  const bool waiting = (serial_ && serial_->is_open() && serial_->bytes_available() > 0) ||
                       (st_.iface == 0 && framer_.has_pending());
  if (waiting) tim_rx_.start();
}

void DeviceLink::tim_rx_Timer() {
  const bool port_bytes = serial_ && serial_->is_open() && serial_->bytes_available() > 0;
  if (!port_bytes && !framer_.has_pending()) return;
  set_tim_rx_enabled(false);
  pump_once();
  if (serial_ && serial_->is_open()) framer_.push(serial_->read_all());
  process_input(ReplyPath::Serial);
  if (!line_held_) set_tim_rx_enabled(true);
}

void DeviceLink::wsk_client_DataArrival() {
  if (!tcp_) return;
  const std::string chunk = tcp_->read_all();
  if (chunk.empty()) return;
  framer_.push(chunk);
  const int before = st_.con_lines;
  process_input(ReplyPath::Ethernet);
  // Every chunk counts as an addition, echoed or not.
  if (st_.con_lines == before) ++st_.con_lines;
}

void DeviceLink::process_input(ReplyPath path) {
  const bool serial = path == ReplyPath::Serial;
  auto echo = [&](const std::string& text) {
    if (serial) {
      console_add(text + " ");
      return;
    }
    // The Ethernet path counts first and clears afterwards.
    if (console_) console_->append(text + " ");
    ++st_.con_lines;
    if (st_.con_lines > kConsoleLimit) cmd_clear_Click();
  };

  while (!line_held_ && st_.getip_state != 3) {
    const bool net_query = st_.getip_state >= 0 && st_.getip_state <= 2;
    const LineFramer::Step step = framer_.step(net_query);
    const std::size_t consumed = framer_.take_consumed();
    if (step == LineFramer::Step::NeedMore) {
      // A partial reply is echoed on the serial path, growing with each read.
      if (serial && consumed > 0) echo(framer_.buf());
      return;
    }
    if (serial || framer_.line_had_cr()) echo(framer_.buf());
    if (step == LineFramer::Step::NetAnswer) {
      // Left whole in the buffer, terminator included, for the Get IP sequence.
      st_.getip_state = 3;
      st_.tx_busy = false;
      return;
    }
    framer_.buf().pop_back();
    if (path == ReplyPath::Ethernet && reply::code_of(framer_.buf()) == code::EXT) {
      // The device ends the connection: that answers no command, and whoever
      // waits must not take it for a reply.
      const bool busy = st_.tx_busy;
      dispatch_line(path);
      st_.tx_busy = busy;
      continue;
    }
    if (st_.tx_busy) {
      // Someone is sending: the reply is theirs.
      st_.rx_flag = true;
      line_held_ = true;
      return;
    }
    dispatch_line(path);
  }
}

void DeviceLink::dispatch_line(ReplyPath path) {
  const std::string line = framer_.buf();
  framer_.clear_line();
  st_.rx_flag = true;
  const bool known = run_handler(line, path);
  if (!known) st_.rx_flag = path == ReplyPath::Ethernet && reply::code_of(line) == code::ERR;
  st_.tx_busy = false;
  if (path == ReplyPath::Serial) pump_once();
}

bool DeviceLink::run_handler(const std::string& line, ReplyPath path) {
  // Handlers read the reply through rx_buf(); a handler that itself sends
  // sees its own reply there, and this one again when it returns.
  std::string outer = std::exchange(handler_line_, line);
  ++handler_depth_;
  const bool known = table_.dispatch(reply::code_of(line), path);
  --handler_depth_;
  handler_line_ = std::move(outer);
  return known;
}

}  // namespace quadrel
