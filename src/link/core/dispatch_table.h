// The table of reply codes and the handler each one calls.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quadrel {

// Which receive path hands a reply over: "EXT" is known to the Ethernet path only.
enum class ReplyPath { Exchange, Serial, Ethernet };

class DispatchTable {
 public:
  struct Entry {
    std::string_view code;
    std::string handler;  // the handler's name ("rx_" and the code), for the console and tests
    bool ethernet_only;
    std::function<void()> fn;
  };

  // A row for each parameter whose replies the model reads, and "EXT".
  DispatchTable();

  // Installs the handler of a code; the code must be one of the table's.
  // Returns false for a code the table does not know.
  bool set(std::string_view code, std::function<void()> fn);

  // Whether `code` has a row that `path` dispatches.
  bool knows(std::string_view code, ReplyPath path) const;

  // Calls the handler of `code` if the path dispatches it and one is
  // installed; returns whether a row matched (a known code whose handler is
  // still empty counts as handled and does nothing).
  bool dispatch(std::string_view code, ReplyPath path) const;

  const std::vector<Entry>& entries() const { return entries_; }

 private:
  const Entry* find(std::string_view code) const;
  std::vector<Entry> entries_;
};

}  // namespace quadrel
