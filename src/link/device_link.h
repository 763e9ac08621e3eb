// The command exchange with the device: sending, waiting, framing and dispatching replies.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <string>
#include <string_view>

#include "link/core/dispatch_table.h"
#include "link/core/framer.h"
#include "link/core/link_io.h"
#include "link/waits.h"

namespace quadrel {

inline constexpr const char* kSerialDisconnected = "RS232 port is disconnected !";
inline constexpr const char* kEthernetDisconnected = "Ethernet port is disconnected !";

// How an exchange of `tx_cmd` ended. `rx_flag` keeps its own rules; this says
// more, for the window's status line and for scripts.
enum class ExchangeOutcome {
  Answered,     // the reply with the command's own code came (its handler ran)
  DeviceError,  // the device answered "ERR"
  NoAnswer,     // nothing of the command's own by the limit
  LinkClosed,   // not sent: the link is not open (the user was told)
  Busy,         // not sent: another exchange is under way
  LinkLost,     // the link closed while the command waited
};

// The link state shared by the exchange, the receive paths and the link buttons.
// Flags are plain bools here; the window shows them as the device's -1/0 flags.
struct LinkState {
  int iface = 0;               // 0 RS-232, 1 Ethernet
  bool serial_open = false;
  bool eth_connected = false;
  bool tx_busy = false;        // a send is in progress; a second one is refused
  bool rx_flag = false;        // the reply-received flag
  int con_lines = 0;           // additions to the console since it was cleared
  int getip_state = 254;       // network query: 254 idle, 0..2 awaited, 3 answered
  ExchangeOutcome last_outcome = ExchangeOutcome::NoAnswer;  // of the last `tx_cmd`
};

// Owns the exchange: `tx_cmd`, `tx_nowait`, the serial poll and the TCP data
// path, the console rules and the reply dispatch. The window never touches a
// port or socket for traffic; it installs the reply handlers and reads the state.
class DeviceLink : public QObject {
  Q_OBJECT
 public:
  explicit DeviceLink(QObject* parent = nullptr);
  ~DeviceLink() override;

  void set_serial(ByteLink* serial);
  void set_tcp(ByteLink* tcp);
  void set_console(Console* console) { console_ = console; }
  void set_notifier(Notifier* notifier) { notifier_ = notifier; }

  LinkState& state() { return st_; }
  const LinkState& state() const { return st_; }
  DispatchTable& table() { return table_; }

  // The reply buffer as the handlers read it: while a handler runs it holds the
  // reply without its terminator.
  const std::string& rx_buf() const { return handler_depth_ > 0 ? handler_line_ : framer_.buf(); }
  int rx_count() const { return framer_.count(); }

  // Sends a command and awaits its reply (about 0.6 s on serial, 1.2 s over
  // TCP); the reply's handler runs before the task ends. `rx_flag` tells the
  // outcome too. One exchange is on the wire at a time: a second one, while
  // the first is under way, is refused (Busy), as the panel's clicks are.
  QCoro::Task<ExchangeOutcome> tx_cmd(std::string tx_str);
  // Sends a command without waiting for its reply, which comes back through
  // the receive paths. Gives whether it was sent (false: link closed, busy or
  // lost); it suspends only while a serial port has earlier bytes to hand on.
  QCoro::Task<bool> tx_nowait(std::string p);

  // The waits of the link: co_await waits().until(done, ms) or sleep(ms).
  Waits& waits() { return waits_; }
  // A wait is running (keys of the keyboard window are dropped meanwhile).
  bool waiting() const { return waits_.any(); }

  // The console's clear button: empties the console and its count.
  void cmd_clear_Click();
  // Appends to the console, clearing it first after 80 additions.
  void console_add(std::string_view text);

  // The serial poll timer `tim_rx`: enabled, it reads the port whenever bytes are waiting.
  void set_tim_rx_enabled(bool enabled);
  bool tim_rx_enabled() const { return tim_rx_enabled_; }
  void tim_rx_Timer();
  // The TCP client's data event. It runs from a zero-delay timer that the
  // socket's ready-read starts, not inside the socket's signal.
  void wsk_client_DataArrival();
  // The TCP input already received, handled now (the connection is closing);
  // nothing waiting is resumed from here.
  void drain_tcp();

  // Empties the exchange state (a port opened or reopened).
  void reset_exchange();

  // The 16-character network answer (terminator included), taken once; the
  // query is idle again afterwards. Empty when none has come.
  std::string take_net_answer();
  // Handles the bytes that are already received but not yet framed (after a
  // network query ends, say).
  void resume_input();

  // The window closes: every wait ends at once (its exchange with LinkLost)
  // and nothing more is sent (no message either). For good: the link is not
  // used again. Whatever awaited the link has run on to its end when this returns.
  void shut_down();
  bool shutting_down() const { return closing_; }

  // The reply line the last `tx_cmd` was answered with (its own code or
  // "ERR"), without its terminator; empty when it got none.
  const std::string& last_reply() const { return last_reply_; }
  // The command `tx_cmd` is sending or waiting for (empty otherwise).
  const std::string& sending() const { return sending_; }
  // While a handler runs: whether its reply answers the command being sent
  // (Exchange) or came through a receive path on its own.
  ReplyPath handler_path() const { return handler_path_; }
  // Something of the link is under way: an exchange, a wait, a receive pass
  // or a handler. Work of its own (the follow-up reads) waits for its end.
  bool active() const { return active_ > 0 || st_.tx_busy || waits_.any(); }

 signals:
  // Every `tx_cmd` has ended, refused ones included, with its command and outcome.
  void exchange_ended(const QString& command, quadrel::ExchangeOutcome outcome);
  // A command after which the device restarts over Ethernet ("PWR001",
  // "RST001") has just been sent: its last words are awaited a second
  // (kRebootWaitMs), then `ethernet_reboot` follows.
  void reboot_sent();
  // That second is over; `tx_cmd` waits no further for the reply once the
  // listeners return.
  void ethernet_reboot();
  // The serial port has failed (output never drained, the adapter pulled, an
  // I/O error) and the link has closed it; `reason` names the device and the
  // error. The user is told after the listeners return.
  void serial_lost(const QString& reason);
  // A whole line from the device (terminator removed), as it is framed and
  // before it is handled: replies and lines it sends on its own alike.
  void line_received(const QByteArray& line);
  // A whole line that answers no waiting exchange: one the device sent on its
  // own, or a reply that came after its exchange gave up. Emitted after
  // `line_received`, before the line is handled; a reply that a waiting
  // `tx_cmd` takes (its own code or "ERR") is never one.
  void report_received(const QByteArray& line);
  // The bytes as they were read from the port or the socket, before framing:
  // what the device sent, noise included.
  void bytes_received(const QByteArray& bytes);

 public:
  // Longest wait for the serial port to hand queued bytes to the device.
  static constexpr int kDrainLimitMs = 2000;
  // Longest run of the receive path before it lets other events in: a flood
  // of input never holds up the window for longer.
  static constexpr int kSliceMs = 10;
  // After a pass that ran out of its slice, the next one waits this long, so
  // that a flood of input gets about a quarter of a core for its handlers.
  static constexpr int kRestMs = 3 * kSliceMs;
  // Behind a flood, at least this much unread input is kept for the next
  // pass (more when one slice handles more); older lines are passed over.
  // While a command waits, less: the lines kept are handled before its reply,
  // which must come within the exchange's limit even when handlers are slow.
  static constexpr std::size_t kBacklogKept = 16 * 1024;
  static constexpr std::size_t kBacklogKeptWhileWaiting = 1024;
  // How long a restarting device's last words are awaited (more than a second).
  static constexpr int kRebootWaitMs = 1001;

 private:
  bool link_ready_or_report();
  bool link_open() const;
  // The serial port still holds bytes of an earlier send; port_drained() awaits them.
  bool port_draining() const;
  Waits::Until port_drained();
  // Writes a command line (the port must have drained); false: the port is lost.
  bool send_line(const std::string& line);
  // Hands bytes read from the link to the framer (and to whoever listens for them).
  void take_bytes(const std::string& bytes);
  void process_input(ReplyPath path);
  void dispatch_line(ReplyPath path);
  bool run_handler(const std::string& line, ReplyPath path);
  void schedule_serial_tick();
  void schedule_input(ReplyPath path);
  int next_pass_delay() const;
  bool may_pass_over(std::string_view code, ReplyPath path) const;
  ExchangeOutcome end_exchange(std::string_view tx_str, ExchangeOutcome outcome);
  void serial_pass();
  void tcp_pass();
  void lose_serial(const std::string& reason);
  void echo(const std::string& text, ReplyPath path);
  void flush_echo();
  ReplyPath input_path() const { return st_.iface == 1 ? ReplyPath::Ethernet : ReplyPath::Serial; }

  LinkState st_;
  Waits waits_;
  LineFramer framer_;
  DispatchTable table_;
  ByteLink* serial_ = nullptr;
  ByteLink* tcp_ = nullptr;
  Console* console_ = nullptr;
  Notifier* notifier_ = nullptr;
  QTimer tim_rx_;
  bool tim_rx_enabled_ = false;
  QTimer tcp_rx_;           // runs the TCP data event outside the socket's signal
  bool line_held_ = false;  // a complete reply waits in the buffer for `tx_cmd`
  bool waiting_ = false;    // `tx_cmd` waits for a reply with the code below
  std::string waiting_code_;
  std::string net_answer_;  // the network answer, until the query takes it
  std::string echo_;        // console text of the running receive pass, not yet shown
  bool behind_ = false;          // the last pass ran out of its slice with input left
  std::size_t slice_bytes_ = 0;  // input that pass handled in its slice
  bool closing_ = false;
  std::string last_reply_;
  std::string handler_line_;  // the reply whose handler is running
  int handler_depth_ = 0;
  ReplyPath handler_path_ = ReplyPath::Exchange;
  std::string sending_;
  int active_ = 0;
};

}  // namespace quadrel
