#include "hub/command_rules.h"

namespace quadrel::hub {

std::optional<Command> check_command(std::string_view line) {
  const std::optional<CheckedLine> checked = check_line(line);
  if (!checked) return std::nullopt;
  Command command;
  command.line = std::string(line);
  command.row = checked->row;
  command.limit = checked->limit;
  switch (checked->kind) {
    case CheckedLine::Kind::Query: command.kind = Command::Kind::Query; break;
    case CheckedLine::Kind::Network:
      command.kind = Command::Kind::Network;
      command.network = checked->row->aspect_index;
      break;
    case CheckedLine::Kind::Setting:
      command.kind = Command::Kind::Setting;
      command.late_reply = checked->row->late_reply;
      break;
  }
  return command;
}

}  // namespace quadrel::hub
