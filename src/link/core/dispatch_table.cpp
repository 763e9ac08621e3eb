#include "link/core/dispatch_table.h"

#include "link/core/catalogue.h"
#include "link/core/parameters.h"

namespace quadrel {

namespace {
std::string handler_name(std::string_view code) {
  std::string name = "rx_";
  for (char c : code) name += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return name;
}
}  // namespace

DispatchTable::DispatchTable() {
  for (const Parameter& p : parameters())
    if (p.read) entries_.push_back({p.code, handler_name(p.code), false, {}});
  entries_.push_back({code::EXT, handler_name(code::EXT), true, {}});
}

const DispatchTable::Entry* DispatchTable::find(std::string_view code) const {
  // Every code is three letters: compared letter by letter, a line's lookup
  // costs a few nanoseconds instead of a library compare per row.
  if (code.size() != 3) return nullptr;
  for (const Entry& entry : entries_)
    if (entry.code[0] == code[0] && entry.code[1] == code[1] && entry.code[2] == code[2]) return &entry;
  return nullptr;
}

bool DispatchTable::set(std::string_view code, std::function<void()> fn) {
  for (Entry& entry : entries_) {
    if (entry.code == code) {
      entry.fn = std::move(fn);
      return true;
    }
  }
  return false;
}

bool DispatchTable::knows(std::string_view code, ReplyPath path) const {
  const Entry* entry = find(code);
  return entry && (!entry->ethernet_only || path == ReplyPath::Ethernet);
}

bool DispatchTable::dispatch(std::string_view code, ReplyPath path) const {
  const Entry* entry = find(code);
  if (!entry || (entry->ethernet_only && path != ReplyPath::Ethernet)) return false;
  if (entry->fn) entry->fn();
  return true;
}

}  // namespace quadrel
