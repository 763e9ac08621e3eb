// Which lines from a client are commands of the device's catalogue, and how the hub carries each.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quadrel::hub {

// A client's line that is a command of the catalogue.
struct Command {
  enum class Kind {
    Query,    // asks for a setting ("999", "991".."994", "998"): the reply goes to the asker only
    Setting,  // changes something: a confirmed reply also reaches every other client
    Network,  // "EIP999", "EMK999", "EGW999": answered by a bare 15-character address
  };
  Kind kind = Kind::Query;
  std::string line;  // what goes to the device, without its carriage return
  int network = -1;  // Network: 0 IP address, 1 subnet mask, 2 gateway
  // The device may answer only once it is done (a mode change, a preset).
  bool late_reply = false;
};

// The longest command line: "LAI", the input digit and a 12-character label.
inline constexpr std::size_t kMaxCommandLength = 16;

// `line` (without its terminator) read against the catalogue: its code, and
// the values that code takes. Nothing for anything else: an unknown code, a
// value out of range, lower case, spaces, a label longer than 12 characters or
// with a character outside printable ASCII.
std::optional<Command> check_command(std::string_view line);

}  // namespace quadrel::hub
