#include "cli/device_reader.h"

#include <QElapsedTimer>
#include <QStringList>

#include "link/core/catalogue.h"

namespace quadrel::cli {

namespace {

bool link_failure(ExchangeOutcome outcome) {
  return outcome == ExchangeOutcome::LinkClosed || outcome == ExchangeOutcome::LinkLost ||
         outcome == ExchangeOutcome::Busy;
}

}  // namespace

DeviceReader::DeviceReader(Session& session) : s_(session) {
  heard_ = QObject::connect(&s_.device(), &Device::exchange_ended, &s_.device(),
                            [this](const QString& command, ExchangeOutcome outcome) {
                              note(command.toStdString(), outcome);
                            });
}

DeviceReader::~DeviceReader() { QObject::disconnect(heard_); }

void DeviceReader::note(std::string_view command, ExchangeOutcome outcome) {
  if (outcome == ExchangeOutcome::Answered) {
    // The output selected before any read selected another.
    if (command == cmd::query(code::OUT) && selected_ == 0) selected_ = s_.state().channel.value_or(0);
    return;
  }
  if (outcome == ExchangeOutcome::DeviceError) {
    refused_.emplace_back(command);
    return;
  }
  // The first failure is the one reported, unless the link closes later.
  if (failed_.empty() || (link_failure(outcome) && !link_failure(failure_))) {
    failed_ = std::string(command);
    failure_ = outcome;
    waited_s_ = s_.waited_s();
  }
}

void DeviceReader::settled(std::string_view command, ExchangeOutcome outcome) {
  if (failed_ != command) return;
  failed_.clear();
  failure_ = ExchangeOutcome::Answered;
  note(command, outcome);
}

void DeviceReader::put_back_selected() {
  const DeviceState& s = s_.state();
  if (selected_ == 0 || !failed_.empty() || !s_.link_open() || s.mode == mode_no::TvWall || s.channel == selected_)
    return;
  s_.exchange(cmd::set(code::OUT, selected_));
}

bool DeviceReader::read_all() {
  Device& device = s_.device();
  if (device.refresh(true)) {
    // Each tool window's read runs on its own, as each window does when it opens.
    device.hdcp_refresh();
    device.label_in_refresh();
    device.dual_pip_refresh();
    static constexpr std::string_view kCodes[] = {code::EIP, code::EMK, code::EGW};
    for (int which = 0; which < 3 && device.link_open(); ++which) {
      QElapsedTimer waited;
      waited.start();
      const ExchangeOutcome outcome = device.query_network_setting(which);
      const bool first_failure = failed_.empty();
      note(cmd::query(kCodes[which]), outcome);
      if (first_failure && !failed_.empty()) waited_s_ = waited.elapsed() / 1000.0;
      // The sequence ends at the first query without its address, a refusal included.
      if (outcome != ExchangeOutcome::Answered) break;
    }
  }
  put_back_selected();
  return complete();
}

bool DeviceReader::read_routing(int channel) {
  if (s_.exchange(cmd::query(code::MOD)) != ExchangeOutcome::Answered) return false;
  // One input feeds the whole wall, and it has no output to select.
  if (s_.device().disp_mode() == mode_no::TvWall) return s_.exchange(cmd::query(code::INP)) == ExchangeOutcome::Answered;
  if (s_.exchange(cmd::query(code::OUT)) != ExchangeOutcome::Answered) return false;
  for (int ch = channel ? channel : 1; ch <= (channel ? channel : 4); ++ch)
    if (s_.exchange(cmd::set(code::OUT, ch)) != ExchangeOutcome::Answered ||
        s_.exchange(cmd::query(code::INP)) != ExchangeOutcome::Answered)
      break;
  put_back_selected();
  return complete();
}

int DeviceReader::exit_code() const {
  if (!failed_.empty()) return s_.timed_out() ? exit_code::NoAnswer : exit_code_of(failure_);
  return refused_.empty() ? exit_code::Done : exit_code::Refused;
}

int DeviceReader::report() const {
  if (!failed_.empty()) s_.fail(failed_, failure_, waited_s_);
  if (!refused_.empty()) {
    QStringList refused;
    for (const std::string& command : refused_) refused << QString::fromStdString(command);
    s_.error(refused.join(QStringLiteral(", ")) + QStringLiteral(": refused by the device (ERR)"));
  }
  return exit_code();
}

}  // namespace quadrel::cli
