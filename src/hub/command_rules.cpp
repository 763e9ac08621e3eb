#include "hub/command_rules.h"

#include "link/core/catalogue.h"

namespace quadrel::hub {

namespace {

struct Range {
  int lo, hi;
};

// How the three characters after a code are read.
enum class Form {
  Number,   // a value in one of the ranges ("MOD005")
  Pair,     // "0", a channel 1..channels, a value 0..values-1 ("HPI021")
  Label,    // an input digit 1..4 and up to 12 printable characters
  Network,  // the query only
};

struct Rule {
  std::string_view code;
  Form form = Form::Number;
  Range values{0, -1};                  // Number (the picture codes have four ranges)
  int channels = 0;                     // Pair, and the "99n" queries
  int pair_values = 0;                  // Pair
  bool query = true;                    // "999"
  bool limit = false;                   // "998"
  bool late = false;
};

constexpr Range kPictureRows[] = {{0, 100}, {200, 300}, {400, 500}, {600, 700}};

const Rule* rule_of(std::string_view code) {
  using namespace quadrel::code;
  static const Rule rules[] = {
      {MOD, Form::Number, {1, 5}, 0, 0, true, false, true},
      {OUT, Form::Number, {1, 4}},
      {INP, Form::Number, {1, 4}},
      {RES, Form::Number, {1, 99}},
      {ASP, Form::Number, {0, 4}},
      {BRI, Form::Number, {}, 4},
      {CON, Form::Number, {}, 4},
      {HUE, Form::Number, {}, 4},
      {SAT, Form::Number, {}, 4},
      {BEH, Form::Number, {0, 254}, 0, 0, true, true},
      {BEV, Form::Number, {0, 254}, 0, 0, true, true},
      {BEZ, Form::Number, {0, 1}},
      {AUD, Form::Number, {0, 1}},
      {AUE, Form::Number, {0, 4}},
      {AUA, Form::Number, {1, 2}},
      {AUB, Form::Number, {1, 2}},
      {AUQ, Form::Number, {1, 4}},
      {PWR, Form::Number, {0, 1}},
      {RST, Form::Number, {1, 2}, 0, 0, false},
      {VER, Form::Number, {}},
      {VR2, Form::Number, {}},
      {LCK, Form::Number, {0, 1}},
      {SAV, Form::Number, {1, 4}, 0, 0, false, false, true},
      {CAL, Form::Number, {1, 4}, 0, 0, false, false, true},
      {MNX, Form::Number, {1, 1}, 0, 0, false},
      {MNE, Form::Number, {1, 1}, 0, 0, false},
      {MNO, Form::Number, {1, 1}, 0, 0, false},
      {MNU, Form::Number, {1, 1}, 0, 0, false},
      {MND, Form::Number, {1, 1}, 0, 0, false},
      {MNL, Form::Number, {1, 1}, 0, 0, false},
      {MNR, Form::Number, {1, 1}, 0, 0, false},
      {HPI, Form::Pair, {}, 4, 2, false},
      {HPO, Form::Pair, {}, 4, 2, false},
      {LAB, Form::Number, {0, 1}},
      {LAI, Form::Label, {}, 4, 0, false},
      {PPO, Form::Pair, {}, 2, 4, false},
      {PSZ, Form::Pair, {}, 2, 4, false},
      {PSW, Form::Number, {1, 2}, 0, 0, false},
      {EIP, Form::Network},
      {EMK, Form::Network},
      {EGW, Form::Network},
  };
  for (const Rule& rule : rules)
    if (rule.code == code) return &rule;
  return nullptr;
}

bool digits(std::string_view text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return !text.empty();
}

bool printable(std::string_view text) {
  for (char c : text)
    if (c < 0x20 || c > 0x7e) return false;
  return true;
}

int number(std::string_view three) { return (three[0] - '0') * 100 + (three[1] - '0') * 10 + (three[2] - '0'); }

bool in_ranges(const Rule& rule, int value) {
  if (rule.code == code::BRI || rule.code == code::CON || rule.code == code::HUE || rule.code == code::SAT) {
    for (const Range& r : kPictureRows)
      if (value >= r.lo && value <= r.hi) return true;
    return false;
  }
  return value >= rule.values.lo && value <= rule.values.hi;
}

}  // namespace

std::optional<Command> check_command(std::string_view line) {
  if (line.size() < 4 || line.size() > kMaxCommandLength) return std::nullopt;
  const Rule* rule = rule_of(line.substr(0, 3));
  if (!rule) return std::nullopt;
  const std::string_view param = line.substr(3);

  Command command;
  command.line = std::string(line);
  if (rule->form == Form::Label && param[0] >= '1' && param[0] <= '4') {
    // The label's own characters: anything printable, at most 12 of them.
    if (param.size() > 13 || !printable(param)) return std::nullopt;
    command.kind = Command::Kind::Setting;
    return command;
  }
  if (param.size() != 3 || !digits(param)) return std::nullopt;
  const int value = number(param);
  if (rule->form == Form::Network) {
    if (value != 999) return std::nullopt;
    command.kind = Command::Kind::Network;
    command.network = line[1] == 'I' ? 0 : line[1] == 'M' ? 1 : 2;
    return command;
  }
  command.kind = Command::Kind::Query;
  if (value == 999 && rule->query) return command;
  if (value == 998 && rule->limit) return command;
  if (value >= 991 && value < 991 + rule->channels) return command;

  command.kind = Command::Kind::Setting;
  command.late_reply = rule->late;
  if (rule->form == Form::Pair) {
    const int channel = param[1] - '0';
    const int choice = param[2] - '0';
    if (param[0] == '0' && channel >= 1 && channel <= rule->channels && choice < rule->pair_values) return command;
    return std::nullopt;
  }
  if (rule->form == Form::Number && in_ranges(*rule, value)) return command;
  return std::nullopt;
}

}  // namespace quadrel::hub
