// Which lines from a client are commands of the device, and how the hub carries each.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "link/core/parameters.h"

namespace quadrel::hub {

// A client's line that is a command of the device (its row of the parameter table).
struct Command {
  enum class Kind {
    Query,    // asks for a setting ("999", "991".."99n", "998"): the reply goes to the asker only
    Setting,  // changes something: a confirmed reply also reaches every other client
    Network,  // "EIP999", "EMK999", "EGW999": answered by a bare 15-character address
  };
  Kind kind = Kind::Query;
  std::string line;  // what goes to the device, without its carriage return
  const Parameter* row = nullptr;
  int network = -1;    // Network: 0 IP address, 1 subnet mask, 2 gateway
  bool limit = false;  // the upper limit's query ("998")
  // The device may answer only once it is done (a mode change, a preset).
  bool late_reply = false;
};

using quadrel::kMaxCommandLength;

// `line` (without its terminator) read against the parameter table: its
// code, and the values that code takes. Nothing for anything else: an
// unknown code, a value out of range, lower case, spaces, a label longer than
// 12 characters or with a character outside printable ASCII.
std::optional<Command> check_command(std::string_view line);

}  // namespace quadrel::hub
