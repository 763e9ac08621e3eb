// Where each group of subcommands adds itself to the list the client knows.
#pragma once

#include <memory>
#include <vector>

namespace quadrel::cli {

class Command;

void add_readers(std::vector<std::unique_ptr<Command>>& list);  // status, send, watch
void add_setters(std::vector<std::unique_ptr<Command>>& list);  // mode, route, ... pip
void add_apply(std::vector<std::unique_ptr<Command>>& list);    // apply

}  // namespace quadrel::cli
