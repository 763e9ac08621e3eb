// Reads the device's settings with the panel's query chains and their stop rules.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/session.h"

namespace quadrel::cli {

class DeviceReader {
 public:
  explicit DeviceReader(Session& session) : s_(session) {}

  // Everything `status` shows: the full refresh (versions, audio, bezel and its
  // limits, lock, power, resolution, mode, output, input, aspect, the routing
  // of each output, the picture), then the HDCP, label and (in Dual PiP) PiP
  // reads and the network addresses. Each chain stops at its first unanswered
  // query ("ERR" counts as an answer); the later chains run only after a
  // complete refresh. False when anything went unanswered or the link closed.
  bool read_all();

  // The panel's chains, each true when its last query was answered.
  bool versions();
  bool full_refresh();  // versions, settings, routing map and picture
  bool map_refresh();
  bool picture_refresh();
  bool hdcp_refresh();
  bool labels_refresh();
  bool pip_refresh();   // only in Dual PiP; true elsewhere
  bool network();

  // One query; true when it was answered (a refusal included).
  bool query(std::string_view command);

  // The exit code of what was read: link error, then no answer, then refusal.
  int exit_code() const;
  // Prints the error line of the first failure and of the refusals; returns exit_code().
  int report() const;

 private:
  bool note(std::string_view command, ExchangeOutcome outcome);

  Session& s_;
  std::string failed_;  // the first command that went unanswered or lost the link
  ExchangeOutcome failure_ = ExchangeOutcome::Answered;
  std::vector<std::string> refused_;
};

}  // namespace quadrel::cli
