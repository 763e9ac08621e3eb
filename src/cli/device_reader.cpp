#include "cli/device_reader.h"

#include <QStringList>

#include "link/core/catalogue.h"
#include "link/core/parameters.h"

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
    if (selected_ == 0 && command == query_command(row_of(Aspect::Channel))) selected_ = s_.state().channel.value_or(0);
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
    // A network query goes out without the console, and waits its own time.
    const Parameter* row = parameter(reply::code_of(command));
    waited_s_ = row && row->group == Read::Network ? Device::kNetAnswerMs / 1000.0 : s_.waited_s();
  }
}

void DeviceReader::settled(std::string_view command, ExchangeOutcome outcome) {
  if (failed_ != command) return;
  failed_.clear();
  failure_ = ExchangeOutcome::Answered;
  note(command, outcome);
}

QCoro::Task<> DeviceReader::put_back_selected() {
  if (failed_.empty() && s_.link_open()) co_await s_.device().select_again(selected_);
}

QCoro::Task<bool> DeviceReader::read_all() {
  co_await s_.device().read_everything();
  co_return complete();
}

QCoro::Task<bool> DeviceReader::read_routing(int channel) {
  const Parameter& out = row_of(Aspect::Channel);
  const std::string input = query_command(row_of(Aspect::Routing));
  const ExchangeOutcome mode = co_await s_.exchange(query_command(row_of(Aspect::Mode)));
  if (mode != ExchangeOutcome::Answered) co_return false;
  // One input feeds the whole wall, and it has no output to select.
  if (s_.device().disp_mode() == mode_no::TvWall) {
    const ExchangeOutcome wall = co_await s_.exchange(input);
    co_return wall == ExchangeOutcome::Answered;
  }
  const ExchangeOutcome selected = co_await s_.exchange(query_command(out));
  if (selected != ExchangeOutcome::Answered) co_return false;
  const int first = channel ? channel : 1;
  const int last = channel ? channel : 4;
  for (int ch = first; ch <= last; ++ch) {
    const ExchangeOutcome chosen = co_await s_.exchange(set_command(out, ch));
    if (chosen != ExchangeOutcome::Answered) break;
    const ExchangeOutcome routed = co_await s_.exchange(input);
    if (routed != ExchangeOutcome::Answered) break;
  }
  co_await put_back_selected();
  co_return complete();
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
