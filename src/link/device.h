// The Corvane as every front end sees it: one link, one model, the operations a user asks for.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "link/core/device_state.h"
#include "link/core/parameters.h"
#include "link/device_link.h"
#include "link/serial_link.h"
#include "link/tcp_link.h"
#include "link/waits.h"

namespace quadrel {

// How a link ended without this side closing it.
enum class LinkEnd {
  Lost,        // the connection dropped, the port failed or the adapter was pulled
  EndedByDevice,  // the device said "EXT" and closed the connection
  Restarting,  // a command restarted the device, which drops the connection
};

// The menu keys of the device's on-screen menu.
enum class MenuKey { Menu, Exit, Ok, Up, Down, Left, Right };

// The four picture adjustments, in the order the picture refresh reads them.
enum class Adjustment { Brightness, Contrast, Hue, Saturation };

// Owns the exchange with the device (`DeviceLink`), the serial port and the
// TCP client it runs on, and the model of the device that the replies keep
// up to date. Front ends call its operations, which send what the device
// expects (byte for byte the panel's sequences), and listen to its signals:
// any number of them, none of which reads another's widgets.
class Device : public QObject {
  Q_OBJECT
 public:
  explicit Device(QObject* parent = nullptr);
  ~Device() override;

  // --- the model ----------------------------------------------------------

  const DeviceState& state() const { return model_.state(); }
  const DeviceModel& model() const { return model_; }
  // The mode replies and commands are encoded by: 1 Matrix, 2 either dual
  // mode, 3 TV Wall, 5 Quad; 1 until the device has reported one.
  int disp_mode() const { return model_.disp_mode(); }
  int dual_kind() const { return model_.dual_kind(); }
  // The device's current output channel as last reported; 1 until then.
  int sel_out() const { return model_.sel_out(); }
  // Power, audio and the key lock as the buttons toggle them: 1 on (or
  // locked), 0 standby (off, unlocked), 254 before any report or request. A
  // request counts until the device reports otherwise; the lock keeps the
  // digit the device reported.
  int pwr_state() const { return pwr_state_; }
  int audio_state() const { return audio_state_; }
  int lock_state() const { return lock_state_; }
  // Back to what is known at start-up.
  void forget_state();

  // --- the link -----------------------------------------------------------

  DeviceLink& link() { return link_; }
  const DeviceLink& link() const { return link_; }
  SerialLink& serial_port() { return serial_; }
  TcpLink& tcp_client() { return tcp_; }
  void set_console(Console* console) { link_.set_console(console); }
  void set_notifier(Notifier* notifier) { link_.set_notifier(notifier); }

  // 0 RS-232, 1 Ethernet: the interface the exchange uses.
  int iface() const { return link_.state().iface; }
  void use_interface(int iface);
  // Opens the serial device for the exchange (closing an open port first).
  // `name` is how the link is called in messages ("COM1 (/dev/ttyUSB0)").
  // False with the reason in `error` when it cannot be opened.
  bool open_serial(const QString& device, const QString& name, QString* error);
  void close_serial();
  // Starts connecting to host:port; `link_changed()` follows when the device
  // accepts (`link_open()`), or `connect_failed()` when the connection is refused.
  void connect_tcp(const QString& host, quint16 port);
  // Ends the TCP connection, or the attempt to make it.
  void close_tcp();
  // The chosen interface's link is open: the exchange can send.
  bool link_open() const;
  bool serial_open() const { return link_.state().serial_open; }
  bool tcp_connected() const { return link_.state().eth_connected; }
  bool tcp_connecting() const { return connecting_; }
  // "COM1 (/dev/ttyUSB0)" or "192.168.1.100:23": the link in use, or the one
  // last tried.
  QString link_name() const;

  // --- exchanges ----------------------------------------------------------

  // One command and its reply (`tx_cmd`); the reply updates the model.
  QCoro::Task<ExchangeOutcome> exchange(std::string command);
  // One command whose reply comes back on its own (`tx_nowait`); false when
  // it was not sent.
  QCoro::Task<bool> send_nowait(std::string command);
  // Whether the last exchange was answered (`rx_flag`), a refusal included.
  bool answered() const { return link_.state().rx_flag; }
  ExchangeOutcome last_outcome() const { return link_.state().last_outcome; }
  // A wait of the exchange is running (keys are dropped meanwhile).
  bool waiting() const { return link_.waiting(); }
  // Something is under way: an operation, an exchange, a wait.
  bool operating() const { return operations_ > 0 || link_.active(); }
  // ... or due: follow-up reads about to run by themselves.
  bool busy() const { return operating() || follow_timer_.isActive(); }
  // co_await until(done, ms): resumes once done() holds (looked at whenever
  // the link has handled input, changed, or poke() was called), after `ms`,
  // or when the link shuts down; gives done().
  Waits::Until until(std::function<bool()> done, int ms) { return link_.waits().until(std::move(done), ms); }
  // co_await sleep(ms): a pause, which a shut-down ends early.
  Waits::Until sleep(int ms) { return link_.waits().sleep(ms); }
  // co_await settled(): until no operation and no exchange is under way (the
  // reads a tool window starts as it opens), at most `ms`.
  Waits::Until settled(int ms) {
    return link_.waits().until([this] { return operations_ == 0 && !link_.state().tx_busy; }, ms);
  }
  // What a wait looks at has changed outside the link: it looks again soon.
  void poke() { link_.waits().poke(); }
  // The program closes: every wait ends at once (the exchange under way
  // with LinkLost), nothing more is sent, and whatever awaited the device
  // has run on to its end when this returns.
  void shut_down();
  bool shutting_down() const { return link_.shutting_down(); }

  // --- what follows a change ----------------------------------------------
  // Whichever way a reply comes (the answer to an operation, a raw command,
  // a line the device sends on its own), the model asks for the reads its
  // row names (link/core/parameters.h): after a mode change the routing, the
  // picture, the aspect and the PiP; after a recall the mode first, then the
  // same; after a factory reset or a power-on everything, once the device
  // answers again. They are kept as a set (asked twice, read once) and run
  // when the exchange is idle, by themselves unless `set_follow_ups_automatic`
  // turned that off (the hub runs them as its own work). A reply that leaves
  // the model as it was asks for nothing, and the answers a full read gets
  // ask for nothing either.

  Reads pending_reads() const { return pending_; }
  // While `changed` is emitted: how the reply came, and whether the model
  // knew another value before.
  Door reply_door() const { return door_; }
  bool reply_changed_value() const { return changed_value_; }
  // ... and whether the model holds what it did not (a value it did not know, too).
  bool reply_is_news() const { return news_; }
  // Runs the pending reads now, in kFollowUpOrder, each as its sequence does;
  // the first unanswered one drops the rest, and the output that was
  // selected is selected again. False when one went unanswered. Nothing
  // happens inside another exchange or operation. (An operation that asks
  // for them, a mode change or a recall, runs them as its own sequence.)
  QCoro::Task<bool> run_follow_ups();
  // Runs the first of the pending reads only (the hub serves its clients in
  // between); false when nothing is left, or when it went unanswered.
  QCoro::Task<bool> run_next_follow_up();
  void set_follow_ups_automatic(bool automatic);
  // Runs one query sequence (a group of the table, or Everything); true when
  // its last query was answered.
  QCoro::Task<bool> read(Read what);
  // How long the reads after a restart wait for the device to answer again,
  // and the pause between two tries.
  static constexpr int kRestartWaitMs = 60000;
  static constexpr int kRestartPollMs = 251;

  // --- reading the device -------------------------------------------------
  // Each sequence stops at the first query the device leaves unanswered
  // ("ERR" counts as an answer); true when its last query was answered.

  // The firmware versions.
  QCoro::Task<bool> read_versions() { return read(Read::Versions); }
  // Everything "Refresh" reads: the versions, the settings, the routing map,
  // and with `picture` the picture values.
  QCoro::Task<bool> refresh(bool picture);
  // Everything a document shows: the refresh with the picture, then (when it
  // was complete) the HDCP, label and PiP reads and the network addresses;
  // the output the device had selected is selected again. True when every
  // query was answered (a refusal counts as an answer).
  QCoro::Task<bool> read_everything();
  // Selects `channel` again (a read made another current), unless it is so
  // already, the TV Wall shows or the link is closed.
  QCoro::Task<> select_again(int channel);
  // The routing of every channel: "OUT001", "INP999", ... "OUT004", "INP999".
  QCoro::Task<bool> map_refresh();
  // Brightness, contrast, hue and saturation of the whole picture (Matrix)
  // or of each channel.
  QCoro::Task<bool> picture_refresh();
  QCoro::Task<bool> hdcp_refresh() { return read(Read::Hdcp); }
  QCoro::Task<bool> label_in_refresh() { return read(Read::Labels); }
  // Both PiP corners and sizes; only in Dual PiP (true elsewhere, nothing sent).
  QCoro::Task<bool> dual_pip_refresh() { return read(Read::Pip); }
  // The IP address, subnet mask and gateway, each a bare 15-character answer.
  QCoro::Task<bool> query_network();
  // One of them: 0 IP address, 1 subnet mask, 2 gateway.
  QCoro::Task<ExchangeOutcome> query_network_setting(int which);
  // Asks for the upper limit of a bezel correction ("BEH998", "BEV998"); the
  // next reply of that code is the limit, also when it comes after the
  // exchange gave up (for DeviceModel::kLimitWait).
  QCoro::Task<ExchangeOutcome> query_bezel_limit(int axis);
  // A refresh reads the values anew: a limit still awaited is not.
  void forget_bezel_limits();

  // --- what a user does ---------------------------------------------------

  // Chooses display mode 1..5, waits for a late reply (the device may answer
  // only once its outputs are recomposed), then reads the routing, the
  // picture and the aspect of the new mode. `mode_change_started` and
  // `mode_change_finished` bracket it.
  QCoro::Task<ExchangeOutcome> set_mode(int mode);
  // Sets the value of what the model keeps as `aspect`: of the parameter
  // `index` names where several share an aspect (Dual A audio is index 1),
  // else of channel `index` (an input's HDCP) or of the only one. The
  // command is its row's: "ASP002", "HPI031", "INP003".
  QCoro::Task<ExchangeOutcome> set(Aspect aspect, int index, int value);
  // Makes a channel current and reads its input ("OUT00n", "INP999"); not in
  // the TV Wall, which has no channel to choose. `output_chosen` comes first.
  // Nothing is sent (and nothing returned) in the TV Wall.
  QCoro::Task<std::optional<ExchangeOutcome>> select_output(int channel);
  // Routes input 1..4 to the current channel.
  QCoro::Task<ExchangeOutcome> route_input(int input) { return set(Aspect::Routing, 0, input); }
  QCoro::Task<ExchangeOutcome> read_resolution();
  // The two interlaced 1080-line resolutions (5 and 6) are served in Matrix only.
  static bool is_interlaced_1080(int number) { return quadrel::is_interlaced_1080(number); }
  bool resolution_allowed(int number) const;
  // A picture value of a row 1..4 (in Matrix the whole picture is row 1):
  // sent as a slider sends it, without waiting; false when not sent.
  QCoro::Task<bool> send_picture(Adjustment adjustment, int row, int value);
  QCoro::Task<ExchangeOutcome> reset_picture();
  // A bezel correction (axis 0 horizontal, 1 vertical), sent as a slider sends it.
  QCoro::Task<bool> send_bezel(int axis, int value);
  // The speaker: off when the device is on (or was asked to be), else on.
  QCoro::Task<ExchangeOutcome> toggle_audio();
  QCoro::Task<ExchangeOutcome> set_audio(bool on);
  QCoro::Task<ExchangeOutcome> set_power(bool on);
  // Unlocks when locked (or asked to lock), else locks.
  QCoro::Task<ExchangeOutcome> toggle_lock();
  QCoro::Task<ExchangeOutcome> set_lock(bool locked);
  QCoro::Task<ExchangeOutcome> press_menu_key(MenuKey key);
  // Saves or recalls preset 1..4 and waits for a late reply; a recall that was
  // answered (a refusal too) runs its follow-ups: the mode, then what the
  // mode shows, the resolution and the audio.
  QCoro::Task<ExchangeOutcome> save_preset(int preset);
  // After an exchange that got no answer: waits up to kLateReplyMs more for
  // a reply that comes late (the device may answer a mode change or a preset
  // only once it is done).
  QCoro::Task<ExchangeOutcome> await_late_reply();
  QCoro::Task<ExchangeOutcome> recall_preset(int preset);
  QCoro::Task<ExchangeOutcome> factory_reset();
  // The label of input 1..4; only its printable ASCII characters are sent.
  QCoro::Task<ExchangeOutcome> set_label(int input, std::string text);

  // Longest wait for a mode or preset reply after the exchange gave up.
  static constexpr int kLateReplyMs = 5000;
  // The wait for one network answer: 51 passes of the 2 ms pause.
  static constexpr int kNetAnswerMs = 102;
  // A connection the device closes this soon after it opened was taken by
  // another client (the device serves one, the newest).
  static constexpr int kThrownOffMs = 3000;
  // Why the device closed a connection open for `open_ms` to `target`
  // ("tcp 10.0.0.5:23"): when it was thrown off, by whom it likely was (a
  // hub running on this machine, named with its doors).
  // `by_hub` tells whether a hub on this machine holds that device.
  static QString closed_reason(qint64 open_ms, const QString& target, bool* by_hub = nullptr);
  // The last connection was taken by a hub that runs on this machine.
  bool taken_by_hub() const { return taken_by_hub_; }

 signals:
  // The device reported `aspect` (of channel, row, input, ... `index`); the
  // model holds the new value. Also when the value is the one it had.
  // Meanwhile `reply_door()` and `link().rx_buf()` say how and what it reported.
  void changed(quadrel::Aspect aspect, int index);
  // Every exchange's end, refused ones included.
  void exchange_ended(const QString& command, quadrel::ExchangeOutcome outcome);
  // Whole lines from the device, as they are framed.
  void line_received(const QByteArray& line);
  // Lines that answer no waiting exchange: what the device sends on its own,
  // and replies that came after their exchange gave up (`DeviceLink::report_received`).
  void report_received(const QByteArray& line);
  // The bytes as they came from the port or the socket, noise included.
  void bytes_received(const QByteArray& bytes);
  // The interface, or whether its link is open or connecting, has changed.
  void link_changed();
  // The link closed without this side closing it.
  void link_ended(quadrel::LinkEnd why, const QString& reason);
  // The TCP connection could not be made.
  void connect_failed(const QString& reason);
  // A command restarted the device over Ethernet; the connection closes
  // once the listeners return.
  void restarting();
  // Reads are pending (`pending_reads`) that nothing runs by itself.
  void follow_ups_pending();
  // A mode change is asked for, and its sequence has ended.
  void mode_change_started(int mode);
  void mode_change_finished(int mode);
  // A channel is about to be made current.
  void output_chosen(int channel);

 protected:
  void connectNotify(const QMetaMethod& signal) override;

 private:
  struct Hold;
  struct FullRead;
  enum class Step { More, Done, Failed };
  // How soon the follow-up reads try again when the link was busy.
  static constexpr int kFollowUpRetryMs = 20;
  QCoro::Task<bool> flush_follow_ups();
  // Runs the first pending read.
  QCoro::Task<Step> follow_up_step();
  void install_handlers();
  void handle_reply(std::string_view code);
  void on_tcp_closed();
  void end_tcp(LinkEnd why, const QString& reason);
  // The reads of one group of the table, in its order, for the current mode.
  QCoro::Task<bool> read_group(Read group);
  // Adds reads to the pending set; `restart`: the device restarts first.
  void schedule(Reads reads, bool restart = false);
  void arm_follow_ups();
  // Waits until the device answers again after a restart; false after kRestartWaitMs.
  QCoro::Task<bool> await_device_back();
  // What an answered, or refused, command asks to read.
  void follow_command(std::string_view command, ExchangeOutcome outcome);
  bool idle() const;

  SerialLink serial_;
  TcpLink tcp_;
  DeviceLink link_;
  DeviceModel model_;
  int pwr_state_ = 254;
  int audio_state_ = 254;
  int lock_state_ = 254;
  bool connecting_ = false;
  QElapsedTimer opened_;     // since the TCP connection opened
  bool taken_by_hub_ = false;
  bool restarting_ = false;  // the connection is expected to drop
  bool bytes_forwarded_ = false;
  int unanswered_ = 0;       // exchanges that got no answer, ever
  Reads pending_;            // follow-up reads not yet run
  Door door_ = Door::Report;
  bool changed_value_ = false;
  bool news_ = false;
  bool restart_first_ = false;  // they wait for the device to restart
  bool automatic_ = true;
  int operations_ = 0;       // operations and sequences running (follow-ups wait)
  int full_reads_ = 0;       // full reads running: their answers ask for nothing
  int selected_before_ = 0;  // the output a refresh found selected
  QTimer follow_timer_;
  std::string late_code_;    // a setting that may still be answered late
  QElapsedTimer late_since_;
  QString serial_name_;
  QString tcp_name_;
};

}  // namespace quadrel
