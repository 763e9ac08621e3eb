#include "link/device.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QMetaMethod>

#include "link/core/catalogue.h"

namespace quadrel {

namespace {

constexpr std::string_view kPictureCodes[] = {code::BRI, code::CON, code::HUE, code::SAT};
constexpr std::string_view kNetworkCodes[] = {code::EIP, code::EMK, code::EGW};

bool went_through(ExchangeOutcome outcome) {
  return outcome == ExchangeOutcome::Answered || outcome == ExchangeOutcome::DeviceError;
}

QString host_and_port(const QString& host, quint16 port) {
  if (QHostAddress(host).protocol() == QAbstractSocket::IPv6Protocol)
    return QStringLiteral("[%1]:%2").arg(host).arg(port);
  return QStringLiteral("%1:%2").arg(host).arg(port);
}

}  // namespace

Device::Device(QObject* parent) : QObject(parent) {
  link_.set_serial(&serial_);
  link_.set_tcp(&tcp_);
  install_handlers();

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
  connect(&link_, &DeviceLink::ethernet_reboot, this, [this] {
    restarting_ = true;
    link_.wait_sec(1);
    emit restarting();
    end_tcp(LinkEnd::Restarting, QStringLiteral("the device restarts; connect again once it is ready"));
    restarting_ = false;
  });

  connect(&tcp_, &TcpLink::connected, this, [this] {
    tcp_.socket().setSocketOption(QAbstractSocket::LowDelayOption, 1);
    link_.state().eth_connected = true;
    connecting_ = false;
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
  const std::optional<Change> change = model_.apply(line);
  if (!change) return;  // names no setting: nothing changes
  switch (change->aspect) {
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
  emit changed(change->aspect, change->index);
}

void Device::forget_state() {
  model_.clear();
  pwr_state_ = audio_state_ = lock_state_ = 254;
  link_.state().getip_state = 254;
  link_.state().wait_busy = false;
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
  link_.wsk_client_DataArrival();
  if (!link_.state().eth_connected) return;
  end_tcp(LinkEnd::Lost, QStringLiteral("the device closed the connection"));
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

ExchangeOutcome Device::exchange(std::string_view command) {
  link_.tx_cmd(command);
  return link_.state().last_outcome;
}

bool Device::send_nowait(std::string_view command) { return link_.tx_nowait(command); }

bool Device::ask(const std::string& command) {
  link_.tx_cmd(command);
  return answered();
}

bool Device::complete(const std::function<void()>& sequence) {
  const int before = unanswered_;
  sequence();
  return unanswered_ == before;
}

ExchangeOutcome Device::await_late_reply() {
  // A reply that comes after the exchange gave up is handled by the receive
  // paths and sets the flag, which ends this wait.
  link_.wait_until([this] { return answered(); }, kLateReplyMs);
  if (answered()) return ExchangeOutcome::Answered;
  return link_open() ? ExchangeOutcome::NoAnswer : ExchangeOutcome::LinkLost;
}

// --- reading the device ------------------------------------------------------

bool Device::read_versions() { return ask(cmd::query(code::VER)) && ask(cmd::query(code::VR2)); }

bool Device::refresh(bool picture) {
  bool settings_read = false;
  const bool all = complete([&] {
    if (!read_versions()) return;
    // Settings first, then the bezel limits, so a limit applies to the value read.
    for (std::string_view audio : {code::AUA, code::AUB, code::AUD, code::AUE, code::AUQ})
      if (!ask(cmd::query(audio))) return;
    forget_bezel_limits();
    for (std::string_view bezel : {code::BEH, code::BEV, code::BEZ})
      if (!ask(cmd::query(bezel))) return;
    for (int axis = 0; axis <= 1; ++axis) {
      query_bezel_limit(axis);
      if (!answered()) return;
    }
    for (std::string_view setting : {code::LCK, code::PWR, code::RES, code::MOD})
      if (!ask(cmd::query(setting))) return;
    // TV Wall shows one picture on every output: there is no output to select.
    if (disp_mode() != mode_no::TvWall && !ask(cmd::query(code::OUT))) return;
    if (!ask(cmd::query(code::INP))) return;
    ask(cmd::query(code::ASP));
    settings_read = true;
    // The routing map and the picture rows are read whatever "ASP999" brought.
    map_refresh();
    if (picture && link_open()) picture_refresh();
  });
  return all && settings_read;
}

bool Device::map_refresh() {
  for (int ch = 1; ch <= 4; ++ch)
    if (!ask(cmd::set(code::OUT, ch)) || !ask(cmd::query(code::INP))) return false;
  return true;
}

bool Device::picture_refresh() {
  return complete([this] {
    switch (disp_mode()) {
      case mode_no::Matrix:
        for (std::string_view code : kPictureCodes)
          if (!ask(cmd::query(code)) && code != code::SAT) return;
        return;
      case mode_no::DualPop:
      case mode_no::TvWall:
      case mode_no::Quad:
        for (int n = 1; n <= 4; ++n) {
          for (std::string_view code : kPictureCodes) {
            // An unanswered saturation query does not stop the next output's
            // queries, unless the link has closed.
            if (!ask(cmd::query_channel(code, n)) && (code != code::SAT || !link_open())) return;
          }
        }
        return;
      default:
        return;
    }
  });
}

bool Device::hdcp_refresh() {
  for (std::string_view code : {code::HPI, code::HPO})
    for (int n = 1; n <= 4; ++n)
      if (!ask(cmd::query_channel(code, n))) return false;
  return true;
}

bool Device::label_in_refresh() {
  if (!ask(cmd::query(code::LAB))) return false;
  for (int k = 1; k <= 4; ++k)
    if (!ask(cmd::query_channel(code::LAI, k))) return false;
  return true;
}

bool Device::dual_pip_refresh() {
  if (state().mode != mode_no::DualPip) return true;
  for (std::string_view code : {code::PPO, code::PSZ})
    for (int pip = 1; pip <= 2; ++pip)
      if (!ask(cmd::query_channel(code, pip))) return false;
  return true;
}

bool Device::query_network() {
  for (int which = 0; which < 3; ++which)
    if (query_network_setting(which) != ExchangeOutcome::Answered) return false;
  return true;
}

ExchangeOutcome Device::query_network_setting(int which) {
  LinkState& st = link_.state();
  // Armed only for a query that goes out: while another exchange is under
  // way its replies must not be taken for answers.
  if (which < 0 || which > 2) return ExchangeOutcome::NoAnswer;
  if (st.tx_busy) return ExchangeOutcome::Busy;
  // The answer is a bare address; a refusal still says "ERR", which ends the wait.
  bool refused = false;
  const auto watch = connect(&link_, &DeviceLink::line_received, this, [&refused](const QByteArray& line) {
    if (line.startsWith(code::ERR.data())) refused = true;
  });
  st.getip_state = which;
  ExchangeOutcome outcome = ExchangeOutcome::LinkClosed;
  if (link_.tx_nowait(cmd::query(kNetworkCodes[which]))) {
    // Both receive paths take exactly 16 characters as the answer while the
    // query is pending.
    link_.wait_until([&] { return st.getip_state == 3 || refused || !link_open(); }, kNetAnswerMs);
    if (st.getip_state == 3) {
      outcome = ExchangeOutcome::Answered;
      const std::string answer = link_.take_net_answer();
      if (const auto change = model_.apply_network(which, answer)) emit changed(change->aspect, change->index);
    } else {
      outcome = refused ? ExchangeOutcome::DeviceError
                        : link_open() ? ExchangeOutcome::NoAnswer : ExchangeOutcome::LinkLost;
    }
  }
  disconnect(watch);
  st.getip_state = 254;
  // Bytes that came in while the query was pending are handled now.
  link_.resume_input();
  return outcome;
}

ExchangeOutcome Device::query_bezel_limit(int axis) {
  model_.expect_bezel_limit(axis);
  link_.tx_cmd(cmd::query_limit(axis == 0 ? code::BEH : code::BEV));
  // Answered (the reply ended the mark), refused or not sent: no limit is on
  // its way. Only a query the device left unanswered may still be answered.
  if (last_outcome() != ExchangeOutcome::NoAnswer) model_.end_bezel_limit(axis);
  return last_outcome();
}

void Device::forget_bezel_limits() {
  model_.end_bezel_limit(0);
  model_.end_bezel_limit(1);
}

// --- what a user does --------------------------------------------------------

ExchangeOutcome Device::set_mode(int mode) {
  emit mode_change_started(mode);
  ExchangeOutcome outcome = ExchangeOutcome::NoAnswer;
  if (mode >= mode_no::Matrix && mode <= mode_no::Quad) {
    outcome = exchange(cmd::set(code::MOD, mode));
    // The device may answer only after it has recomposed its outputs.
    if (!answered()) outcome = await_late_reply();
    if (answered()) {
      if (mode == mode_no::TvWall) {
        if (ask(cmd::set(code::OUT, 1))) ask(cmd::query(code::INP));
      } else {
        map_refresh();
      }
      if (answered()) {
        picture_refresh();
        if (answered()) ask(cmd::query(code::ASP));
      }
    }
  }
  emit mode_change_finished(mode);
  return outcome;
}

std::optional<ExchangeOutcome> Device::select_output(int channel) {
  if (disp_mode() == mode_no::TvWall || channel < 1 || channel > 4) return std::nullopt;
  emit output_chosen(channel);
  const ExchangeOutcome outcome = exchange(cmd::set(code::OUT, channel));
  ask(cmd::query(code::INP));
  return outcome;
}

ExchangeOutcome Device::route_input(int input) { return exchange(cmd::set(code::INP, input)); }

ExchangeOutcome Device::set_resolution(int number) { return exchange(cmd::set(code::RES, number)); }

ExchangeOutcome Device::read_resolution() { return exchange(cmd::query(code::RES)); }

ExchangeOutcome Device::set_aspect(int aspect) { return exchange(cmd::set(code::ASP, aspect)); }

bool Device::resolution_allowed(int number) const {
  return disp_mode() == mode_no::Matrix || !is_interlaced_1080(number);
}

bool Device::send_picture(Adjustment adjustment, int row, int value) {
  const int param = cmd::picture_param(disp_mode(), row, value);
  if (param < 0) return false;
  return send_nowait(cmd::set(kPictureCodes[static_cast<int>(adjustment)], param));
}

ExchangeOutcome Device::reset_picture() { return exchange(cmd::RST_PICTURE); }

ExchangeOutcome Device::set_bezel_on(bool on) { return exchange(cmd::set(code::BEZ, on ? 1 : 0)); }

bool Device::send_bezel(int axis, int value) {
  return send_nowait(cmd::set(axis == 0 ? code::BEH : code::BEV, value));
}

ExchangeOutcome Device::toggle_audio() { return set_audio(audio_state_ != 1); }

ExchangeOutcome Device::set_audio(bool on) {
  audio_state_ = on ? 1 : 0;
  return exchange(on ? cmd::AUD_ON : cmd::AUD_OFF);
}

ExchangeOutcome Device::set_audio_edid(int format) { return exchange(cmd::set(code::AUE, format)); }

ExchangeOutcome Device::set_dual_audio(int side, int picture) {
  return exchange(cmd::set(side == 1 ? code::AUA : code::AUB, picture));
}

ExchangeOutcome Device::set_quad_audio(int quadrant) { return exchange(cmd::set(code::AUQ, quadrant)); }

ExchangeOutcome Device::set_power(bool on) {
  pwr_state_ = on ? 1 : 0;
  return exchange(on ? cmd::PWR_ON : cmd::PWR_STANDBY);
}

ExchangeOutcome Device::toggle_lock() { return set_lock(lock_state_ != 1); }

ExchangeOutcome Device::set_lock(bool locked) {
  lock_state_ = locked ? 1 : 0;
  return exchange(locked ? cmd::LCK_LOCK : cmd::LCK_UNLOCK);
}

ExchangeOutcome Device::press_menu_key(MenuKey key) {
  static constexpr std::string_view kKeys[] = {cmd::MENU_MENU, cmd::MENU_EXIT, cmd::MENU_OK,   cmd::MENU_UP,
                                               cmd::MENU_DOWN, cmd::MENU_LEFT, cmd::MENU_RIGHT};
  return exchange(kKeys[static_cast<int>(key)]);
}

ExchangeOutcome Device::save_preset(int preset) {
  ExchangeOutcome outcome = exchange(cmd::set(code::SAV, preset));
  if (!answered()) outcome = await_late_reply();
  return outcome;
}

ExchangeOutcome Device::recall_preset(int preset) {
  ExchangeOutcome outcome = exchange(cmd::set(code::CAL, preset));
  if (!answered()) outcome = await_late_reply();
  // Answered, also by "ERR": the preset may bring another mode, which is read
  // first (its report relabels the window), then the routing.
  if (answered() && ask(cmd::query(code::MOD))) map_refresh();
  return outcome;
}

ExchangeOutcome Device::factory_reset() { return exchange(cmd::RST_FACTORY); }

ExchangeOutcome Device::set_hdcp_input(int input, int value) { return exchange(cmd::pair(code::HPI, input, value)); }

ExchangeOutcome Device::set_hdcp_output(int output, int value) {
  return exchange(cmd::pair(code::HPO, output, value));
}

ExchangeOutcome Device::set_labels_shown(bool shown) { return exchange(cmd::pair(code::LAB, 0, shown ? 1 : 0)); }

ExchangeOutcome Device::set_label(int input, std::string_view text) { return exchange(cmd::label_set(input, text)); }

ExchangeOutcome Device::set_pip_corner(int pip, int corner) { return exchange(cmd::pair(code::PPO, pip, corner)); }

ExchangeOutcome Device::set_pip_size(int pip, int size) { return exchange(cmd::pair(code::PSZ, pip, size)); }

ExchangeOutcome Device::swap_pip(int pip) { return exchange(pip == 1 ? cmd::PSW_A : cmd::PSW_B); }

}  // namespace quadrel
