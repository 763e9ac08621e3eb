#include "link/core/dispatch_table.h"

namespace quadrel {

DispatchTable::DispatchTable()
    : entries_{{
          {"ASP", "rx_asp", false, {}}, {"AUA", "rx_aua", false, {}}, {"AUB", "rx_aub", false, {}},
          {"AUD", "rx_aud", false, {}}, {"AUE", "rx_aue", false, {}}, {"AUQ", "rx_auq", false, {}},
          {"BEH", "rx_beh", false, {}}, {"BEV", "rx_bev", false, {}}, {"BEZ", "rx_bez", false, {}},
          {"BRI", "rx_bri", false, {}}, {"CAL", "rx_cal", false, {}}, {"CON", "rx_con", false, {}},
          {"EXT", "rx_ext", true, {}},  {"HPI", "rx_hpi", false, {}}, {"HPO", "rx_hpo", false, {}},
          {"HUE", "rx_hue", false, {}}, {"INP", "rx_inp", false, {}}, {"LAB", "rx_lab", false, {}},
          {"LAI", "rx_lai", false, {}}, {"LCK", "rx_lck", false, {}}, {"MOD", "rx_mod", false, {}},
          {"OUT", "rx_out", false, {}}, {"PPO", "rx_ppo", false, {}}, {"PSW", "rx_psw", false, {}},
          {"PSZ", "rx_psz", false, {}}, {"PWR", "rx_pwr", false, {}}, {"RES", "rx_res", false, {}},
          {"RST", "rx_rst", false, {}}, {"SAT", "rx_sat", false, {}}, {"SAV", "rx_sav", false, {}},
          {"VER", "rx_ver", false, {}}, {"VR2", "rx_vr2", false, {}},
      }} {}

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
