#include "settings/settings_file.h"

#include <charconv>

namespace quadrel {

namespace {

bool is_line_end(char ch) { return ch == '\r' || ch == '\n'; }
bool is_blank(char ch) { return ch == ' ' || ch == '\t'; }

// Skips one line end (CR LF, LF or CR alone) at `i`.
std::size_t skip_line_end(std::string_view s, std::size_t i) {
  if (i < s.size() && s[i] == '\r') ++i;
  if (i < s.size() && s[i] == '\n') ++i;
  return i;
}

// A whole number of the file (optional sign, decimal digits, nothing else).
bool to_int(const DelimitedItem& item, int* value) {
  if (item.quoted || item.text.empty()) return false;
  std::string_view digits = item.text;
  if (digits.front() == '+') digits.remove_prefix(1);
  const char* end = digits.data() + digits.size();
  const auto [ptr, ec] = std::from_chars(digits.data(), end, *value);
  return ec == std::errc() && ptr == end;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string shown(const DelimitedItem& item) {
  std::string text = item.text.size() > 20 ? item.text.substr(0, 20) + "..." : item.text;
  return "\"" + text + "\"";
}

void note(std::string* problem, const std::string& what) {
  if (!problem) return;
  if (!problem->empty()) *problem += "; ";
  *problem += what;
}

}  // namespace

std::vector<DelimitedItem> read_delimited_items(std::string_view s) {
  std::vector<DelimitedItem> items;
  std::size_t i = 0;
  if (s.substr(0, 3) == "\xEF\xBB\xBF") i = 3;  // a byte order mark from an editor
  bool after_comma = false;
  while (i < s.size()) {
    while (i < s.size() && is_blank(s[i])) ++i;
    if (i >= s.size()) break;
    if (is_line_end(s[i])) {
      // An empty line holds no item; a comma just before the line end leaves an empty one.
      if (after_comma) items.push_back({});
      after_comma = false;
      i = skip_line_end(s, i);
      continue;
    }
    DelimitedItem item;
    if (s[i] == '"') {
      item.quoted = true;
      ++i;
      while (i < s.size() && s[i] != '"' && !is_line_end(s[i])) item.text += s[i++];
      if (i < s.size() && s[i] == '"') ++i;
      // Anything between the closing quote and the delimiter is dropped.
      while (i < s.size() && s[i] != ',' && !is_line_end(s[i])) ++i;
    } else {
      while (i < s.size() && s[i] != ',' && !is_line_end(s[i])) item.text += s[i++];
      while (!item.text.empty() && is_blank(item.text.back())) item.text.pop_back();
    }
    items.push_back(std::move(item));
    after_comma = false;
    if (i < s.size() && s[i] == ',') {
      ++i;
      after_comma = true;
    }
  }
  if (after_comma) items.push_back({});
  return items;
}

Settings parse_settings(std::string_view text, std::string* problem) {
  if (problem) problem->clear();
  Settings settings;
  const std::vector<DelimitedItem> items = read_delimited_items(text);
  if (items.empty()) {
    note(problem, "the file is empty");
    return settings;
  }

  int value = 0;
  if (to_int(items[0], &value) && (value == 0 || value == 1))
    settings.iface = value;
  else
    note(problem, "the interface " + shown(items[0]) + " is neither 0 (RS-232) nor 1 (Ethernet)");

  if (items.size() < 2) {
    note(problem, "the serial port, the window size and the address are missing");
    return settings;
  }
  if (to_int(items[1], &value) && value >= 1 && value <= 9)
    settings.com_port = value;
  else
    note(problem, "the serial port " + shown(items[1]) + " is not a number from 1 to 9");

  if (items.size() < 3) {
    note(problem, "the window size and the address are missing");
    return settings;
  }
  if (!items[2].quoted && equals_ignoring_case(items[2].text, "#TRUE#"))
    settings.advanced_open = true;
  else if (!items[2].quoted && equals_ignoring_case(items[2].text, "#FALSE#"))
    settings.advanced_open = false;
  else
    note(problem, "the window size " + shown(items[2]) + " is neither #TRUE# nor #FALSE#");

  if (items.size() < 4) {
    note(problem, "the address is missing");
    return settings;
  }
  settings.address = items[3].text;
  return settings;
}

std::string format_settings(const Settings& settings) {
  // The address goes between double quotes: it can hold neither a quote nor a
  // line end, or the file could not be read back.
  std::string address;
  for (char ch : settings.address)
    if (ch != '"' && static_cast<unsigned char>(ch) >= 0x20) address += ch;
  const std::size_t first = address.find_first_not_of(' ');
  address = first == std::string::npos ? std::string() : address.substr(first, address.find_last_not_of(' ') - first + 1);

  std::string text;
  text += std::to_string(settings.iface) + "\r\n";
  text += std::to_string(settings.com_port) + "\r\n";
  text += settings.advanced_open ? "#TRUE#\r\n" : "#FALSE#\r\n";
  text += "\"" + address + "\"\r\n";
  return text;
}

std::vector<std::string> parse_resolution_list(std::string_view text, std::string* problem) {
  if (problem) problem->clear();
  std::vector<std::string> names;
  bool ended = false;
  bool more = false;
  for (const DelimitedItem& item : read_delimited_items(text)) {
    if (item.text == "END") {
      ended = true;
      break;
    }
    if (names.size() < kMaxResolutions)
      names.push_back(item.text);
    else
      more = true;
  }
  if (names.empty())
    note(problem, "it lists no resolution");
  else if (!ended)
    note(problem, "it has no END line");
  if (more)
    note(problem, "it lists more than " + std::to_string(kMaxResolutions) +
                      " resolutions, and the device numbers only " + std::to_string(kMaxResolutions));
  return names;
}

const std::vector<std::string>& default_resolution_list() {
  static const std::vector<std::string> table = {
      "640x480 60Hz",    "800x600 60Hz",    "1024x768 60Hz",   "1280x720p 60Hz",
      "1920x1080i 50Hz", "1920x1080i 60Hz", "1920x1080p 50Hz", "1920x1080p 60Hz",
      "1280x768 60Hz",   "1280x800 60Hz",   "1280x1024 60Hz",  "1360x768 60Hz",
      "1366x768 60Hz",   "1400x1050 60Hz",  "1440x900 60Hz",   "1600x1200 60Hz",
      "1680x1050 60Hz",  "1920x1200 60Hz",  "1280x720p 50Hz"};
  return table;
}

}  // namespace quadrel
