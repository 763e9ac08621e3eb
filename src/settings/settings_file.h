// The settings file "corvane.ini" and the resolution list "output_reso.txt":
// reading and writing their delimited text form (plain C++, no toolkit).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quadrel {

// The four values kept between runs, in file order.
struct Settings {
  int iface = 0;                       // 0 RS-232, 1 Ethernet
  int com_port = 1;                    // serial port 1..9
  bool advanced_open = false;          // the window was in its tall size
  std::string address = "192.168.1.100";  // the device's address, trimmed
};

// One item of the delimited text form: it ends at a comma or a line end,
// spaces before it are skipped, surrounding double quotes are removed.
struct DelimitedItem {
  std::string text;
  bool quoted = false;
};
std::vector<DelimitedItem> read_delimited_items(std::string_view text);

// Reads the settings. Values that are missing or out of range keep their
// defaults; `problem` (when given) then says which, and is empty otherwise.
Settings parse_settings(std::string_view text, std::string* problem = nullptr);

// The file's text: iface, com_port, the flag as #TRUE#/#FALSE#, the address in
// double quotes, each on its own line ended by CR LF.
std::string format_settings(const Settings& settings);

// The device numbers its resolutions in two digits: a list holds at most 99.
inline constexpr std::size_t kMaxResolutions = 99;

// The resolution names before the first "END" item, in file order (position p
// is the device's resolution p + 1), at most kMaxResolutions of them. Without
// an END item every item is taken; `problem` then says so, as it does for an
// empty list and for one with more names than can be chosen.
std::vector<std::string> parse_resolution_list(std::string_view text, std::string* problem = nullptr);

// The device's resolution table, used when the list file is missing or empty.
const std::vector<std::string>& default_resolution_list();

}  // namespace quadrel
