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

  // Everything `status` shows: the full refresh with the picture, then the
  // HDCP, label and (in Dual PiP) PiP reads and the network addresses. Each
  // sequence stops at its first unanswered query ("ERR" counts as an answer);
  // the later ones run only after a complete refresh. False when anything went
  // unanswered or the link closed.
  bool read_all();

  // A command that waits for a late reply (a mode change, a preset) ended
  // with `outcome` after that wait: it replaces what its exchange said.
  void settled(std::string_view command, ExchangeOutcome outcome);

  // The exit code of what was read: link error, then no answer, then refusal.
  int exit_code() const;
  // Prints the error line of the first failure and of the refusals; returns exit_code().
  int report() const;

 private:
  void note(std::string_view command, ExchangeOutcome outcome);

  Session& s_;
  QMetaObject::Connection heard_;
  std::string failed_;  // the first command that went unanswered or lost the link
  ExchangeOutcome failure_ = ExchangeOutcome::Answered;
  std::vector<std::string> refused_;
};

}  // namespace quadrel::cli
