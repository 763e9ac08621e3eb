// The table of reply codes and the handler each one calls.
#pragma once

#include <array>
#include <functional>
#include <string_view>

namespace quadrel {

// Which receive path hands a reply over: "EXT" is known to the Ethernet path only.
enum class ReplyPath { Exchange, Serial, Ethernet };

class DispatchTable {
 public:
  struct Entry {
    std::string_view code;
    std::string_view handler;  // the handler's name, for the console and tests
    bool ethernet_only;
    std::function<void()> fn;
  };

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

  const std::array<Entry, 32>& entries() const { return entries_; }

 private:
  const Entry* find(std::string_view code) const;
  std::array<Entry, 32> entries_;
};

}  // namespace quadrel
