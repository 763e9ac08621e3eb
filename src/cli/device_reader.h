// Reads the device with the Device's query sequences, and keeps what went wrong for the report.
#pragma once

#include <QMetaObject>
#include <string>
#include <string_view>
#include <vector>

#include "cli/session.h"

namespace quadrel::cli {

// Hears every exchange of the session while it lives: the first that went
// unanswered (or lost the link) and every refusal, for the exit code and the
// error lines.
class DeviceReader {
 public:
  explicit DeviceReader(Session& session);
  ~DeviceReader();
  DeviceReader(const DeviceReader&) = delete;
  DeviceReader& operator=(const DeviceReader&) = delete;

  // Everything `status` shows (Device::read_everything). True when
  // everything was answered with a value (see complete()).
  QCoro::Task<bool> read_all();
  // The routing of one channel (1..4) or, with 0, of all four, and the output
  // selected again afterwards; in the TV Wall the one input of the wall.
  QCoro::Task<bool> read_routing(int channel);

  // A command that waits for a late reply (a mode change, a preset) ended
  // with `outcome` after that wait: it replaces what its exchange said.
  void settled(std::string_view command, ExchangeOutcome outcome);

  // Everything read was answered with a value: nothing went unanswered or was refused.
  bool complete() const { return failed_.empty() && refused_.empty(); }
  // The exit code of what was read: link error, then no answer, then refusal.
  int exit_code() const;
  // Prints the error line of the first failure and of the refusals; returns exit_code().
  int report() const;

 private:
  void note(std::string_view command, ExchangeOutcome outcome);
  // Selects again the output the device had selected.
  QCoro::Task<> put_back_selected();

  Session& s_;
  QMetaObject::Connection heard_;
  std::string failed_;  // the first command that went unanswered or lost the link
  ExchangeOutcome failure_ = ExchangeOutcome::Answered;
  double waited_s_ = 0;  // how long it was waited for
  std::vector<std::string> refused_;
  int selected_ = 0;  // the output selected before the reads selected others
};

}  // namespace quadrel::cli
