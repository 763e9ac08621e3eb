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

bool DeviceReader::note(std::string_view command, ExchangeOutcome outcome) {
  if (outcome == ExchangeOutcome::Answered) return true;
  if (outcome == ExchangeOutcome::DeviceError) {
    refused_.emplace_back(command);
    return true;
  }
  // The first failure is the one reported, unless the link closes later.
  if (failed_.empty() || (link_failure(outcome) && !link_failure(failure_))) {
    failed_ = std::string(command);
    failure_ = outcome;
  }
  return false;
}

bool DeviceReader::query(std::string_view command) {
  if (link_failure(failure_)) return false;
  return note(command, s_.exchange(command));
}

bool DeviceReader::versions() {
  return query(cmd::query(code::VER)) && query(cmd::query(code::VR2));
}

bool DeviceReader::full_refresh() {
  if (!versions()) return false;
  for (std::string_view code : {code::AUA, code::AUB, code::AUD, code::AUE, code::AUQ, code::BEH, code::BEV,
                                code::BEZ})
    if (!query(cmd::query(code))) return false;
  // The answers to these two are the sliders' upper limits.
  for (std::string_view code : {code::BEH, code::BEV}) {
    s_.model().expect_bezel_limit();
    if (!query(cmd::query_limit(code))) return false;
  }
  for (std::string_view code : {code::LCK, code::PWR, code::RES, code::MOD})
    if (!query(cmd::query(code))) return false;
  // The TV Wall has no output of its own to report.
  if (disp_mode_of(s_.state().mode.value_or(mode_no::Matrix)) != mode_no::TvWall &&
      !query(cmd::query(code::OUT)))
    return false;
  if (!query(cmd::query(code::INP))) return false;
  // The routing and the picture follow whether or not the aspect was answered.
  query(cmd::query(code::ASP));
  map_refresh();
  picture_refresh();
  return failed_.empty();
}

bool DeviceReader::map_refresh() {
  for (int ch = 1; ch <= 4; ++ch)
    if (!query(cmd::set(code::OUT, ch)) || !query(cmd::query(code::INP))) return false;
  return true;
}

bool DeviceReader::picture_refresh() {
  static constexpr std::string_view kCodes[] = {code::BRI, code::CON, code::HUE, code::SAT};
  switch (disp_mode_of(s_.state().mode.value_or(mode_no::Matrix))) {
    case mode_no::Matrix:
      for (std::string_view code : kCodes)
        if (!query(cmd::query(code))) return false;
      return true;
    case mode_no::DualPop:
    case mode_no::TvWall:
    case mode_no::Quad: {
      bool answered = true;
      for (int n = 1; n <= 4; ++n) {
        for (std::string_view code : kCodes) {
          answered = query(cmd::query_channel(code, n));
          // An unanswered saturation query does not stop the next output's queries.
          if (!answered && (code != code::SAT || link_failure(failure_))) return false;
        }
      }
      return answered;
    }
    default:
      return true;
  }
}

bool DeviceReader::hdcp_refresh() {
  for (std::string_view code : {code::HPI, code::HPO})
    for (int n = 1; n <= 4; ++n)
      if (!query(cmd::query_channel(code, n))) return false;
  return true;
}

bool DeviceReader::labels_refresh() {
  if (!query(cmd::query(code::LAB))) return false;
  for (int k = 1; k <= 4; ++k)
    if (!query(cmd::query_channel(code::LAI, k))) return false;
  return true;
}

bool DeviceReader::pip_refresh() {
  if (s_.state().mode != mode_no::DualPip) return true;
  for (std::string_view code : {code::PPO, code::PSZ})
    for (int n = 1; n <= 2; ++n)
      if (!query(cmd::query_channel(code, n))) return false;
  return true;
}

bool DeviceReader::network() {
  static constexpr std::string_view kCodes[] = {code::EIP, code::EMK, code::EGW};
  for (int which = 0; which < 3; ++which) {
    if (link_failure(failure_)) return false;
    const ExchangeOutcome outcome = s_.network_query(which);
    // The sequence ends at the first query without its address, a refusal included.
    if (!note(cmd::query(kCodes[which]), outcome) || outcome != ExchangeOutcome::Answered) return false;
  }
  return true;
}

bool DeviceReader::read_all() {
  if (!full_refresh()) return false;
  // Each tool window's read runs on its own, as each window does when it opens.
  hdcp_refresh();
  labels_refresh();
  pip_refresh();
  network();
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
