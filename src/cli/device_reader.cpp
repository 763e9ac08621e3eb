#include "cli/device_reader.h"

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
  if (outcome == ExchangeOutcome::Answered) return;
  if (outcome == ExchangeOutcome::DeviceError) {
    refused_.emplace_back(command);
    return;
  }
  // The first failure is the one reported, unless the link closes later.
  if (failed_.empty() || (link_failure(outcome) && !link_failure(failure_))) {
    failed_ = std::string(command);
    failure_ = outcome;
  }
}

void DeviceReader::settled(std::string_view command, ExchangeOutcome outcome) {
  if (failed_ != command) return;
  failed_.clear();
  failure_ = ExchangeOutcome::Answered;
  note(command, outcome);
}

bool DeviceReader::read_all() {
  Device& device = s_.device();
  if (!device.refresh(true)) return false;
  // Each tool window's read runs on its own, as each window does when it opens.
  device.hdcp_refresh();
  device.label_in_refresh();
  device.dual_pip_refresh();
  static constexpr std::string_view kCodes[] = {code::EIP, code::EMK, code::EGW};
  for (int which = 0; which < 3 && device.link_open(); ++which) {
    const ExchangeOutcome outcome = device.query_network_setting(which);
    note(cmd::query(kCodes[which]), outcome);
    // The sequence ends at the first query without its address, a refusal included.
    if (outcome != ExchangeOutcome::Answered) break;
  }
  return failed_.empty();
}

int DeviceReader::exit_code() const {
  if (!failed_.empty()) return exit_code_of(failure_);
  return refused_.empty() ? exit_code::Done : exit_code::Refused;
}

int DeviceReader::report() const {
  if (!failed_.empty()) s_.fail(failed_, failure_);
  if (!refused_.empty()) {
    QStringList refused;
    for (const std::string& command : refused_) refused << QString::fromStdString(command);
    s_.error(refused.join(QStringLiteral(", ")) + QStringLiteral(": refused by the device (ERR)"));
  }
  return exit_code();
}

}  // namespace quadrel::cli
