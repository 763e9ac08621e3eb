#include "link/core/catalogue.h"

namespace quadrel {

std::string num3(int n) {
  std::string text = std::to_string(n);
  if (text.size() < 3) text.insert(0, 3 - text.size(), '0');
  return text;
}

namespace cmd {

std::string query(std::string_view code) { return std::string(code) + "999"; }

std::string query_channel(std::string_view code, int channel) {
  return std::string(code) + "99" + std::to_string(channel);
}

std::string query_limit(std::string_view code) { return std::string(code) + "998"; }

int picture_param(int disp_mode, int row, int value) {
  switch (disp_mode) {
    case 1: return value;
    case 2:
    case 3:
    case 5: return 200 * (row - 1) + value;
    default: return -1;
  }
}

std::string label_clean(std::string_view text) {
  std::string clean;
  clean.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f) clean.push_back(c);
  }
  return clean;
}

std::string label_set(std::string_view code, int input, std::string_view text) {
  return std::string(code) + std::to_string(input) + label_clean(text) + "\r";
}

}  // namespace cmd

namespace reply {

std::string_view code_of(std::string_view line) { return line.substr(0, 3); }

static bool is_digit(char c) { return c >= '0' && c <= '9'; }

int last_digit(std::string_view line) {
  if (line.empty() || !is_digit(line.back())) return -1;
  return line.back() - '0';
}

int last_digits(std::string_view line, int n) {
  if (n <= 0 || line.size() < static_cast<std::size_t>(n)) return -1;
  int value = 0;
  for (char c : line.substr(line.size() - n)) {
    if (!is_digit(c)) return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

int digit_at(std::string_view line, int pos) {
  if (pos < 1 || line.size() < static_cast<std::size_t>(pos)) return -1;
  const char c = line[pos - 1];
  return is_digit(c) ? c - '0' : -1;
}

std::string label_text(std::string_view line) {
  if (line.size() <= 4) return {};
  return std::string(line.substr(4, 12));
}

std::string version_text(std::string_view line) {
  if (line.size() < 4) return {};
  std::string text(1, line[3]);
  text += '.';
  text += line.substr(line.size() >= 2 ? line.size() - 2 : 0);
  return text;
}

std::string version2_text(std::string_view line) {
  if (line.size() <= 3) return {};
  std::string_view field = line.substr(3, 3);
  while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
  while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
  return std::string(field);
}

}  // namespace reply
}  // namespace quadrel
