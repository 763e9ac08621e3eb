#include "link/core/device_state.h"

#include "link/core/catalogue.h"

namespace quadrel {

namespace {

constexpr int kRowMax = 100;         // a picture value
constexpr int kRowStride = 200;      // picture parameter per row outside Matrix
constexpr int kMaxCorrection = 254;  // bezel
constexpr int kPictureResetValue = 50;

std::optional<int> digit_in(std::string_view line, int lo, int hi) {
  const int d = reply::last_digit(line);
  if (d < lo || d > hi) return std::nullopt;
  return d;
}

// Replies of the form code + "0" + index digit + value digit ("HPI031", "PSZ013").
std::optional<reading::Indexed> indexed(std::string_view line, int last_index, int last_value) {
  const int index = reply::digit_at(line, 5);
  const int value = reply::last_digit(line);
  if (index < 1 || index > last_index || value < 0 || value > last_value) return std::nullopt;
  return reading::Indexed{index, value};
}

}  // namespace

int disp_mode_of(int mode) { return mode == mode_no::DualPip ? mode_no::DualPop : mode; }

namespace reading {

std::optional<int> mode(std::string_view line) { return digit_in(line, 1, 5); }
std::optional<int> channel(std::string_view line) { return digit_in(line, 1, 4); }
std::optional<int> input(std::string_view line) { return digit_in(line, 1, 4); }
std::optional<int> aspect(std::string_view line) { return digit_in(line, 0, 4); }
std::optional<int> bezel_on(std::string_view line) { return digit_in(line, 0, 1); }
std::optional<int> audio_edid(std::string_view line) { return digit_in(line, 0, 4); }
std::optional<int> dual_audio(std::string_view line) { return digit_in(line, 1, 2); }
std::optional<int> quad_audio(std::string_view line) { return digit_in(line, 1, 4); }
std::optional<int> lock(std::string_view line) { return digit_in(line, 0, 9); }
std::optional<int> preset(std::string_view line) { return digit_in(line, 1, 4); }
std::optional<int> picture_reset(std::string_view line) { return digit_in(line, 1, 2); }
std::optional<int> labels_on(std::string_view line) { return digit_in(line, 0, 1); }

std::optional<bool> power(std::string_view line) {
  const auto d = digit_in(line, 0, 9);
  if (!d) return std::nullopt;
  return *d != 0;
}

std::optional<bool> audio_on(std::string_view line) { return power(line); }

std::optional<int> resolution(std::string_view line) {
  const int number = reply::last_digits(line, 2);
  if (number < 0) return std::nullopt;
  return number;
}

std::optional<Indexed> picture(int disp_mode, std::string_view line) {
  const int p = reply::last_digits(line, 3);
  if (p < 0) return std::nullopt;
  switch (disp_mode) {
    case 1:
      if (p > kRowMax) return std::nullopt;
      return Indexed{1, p};
    case 2:
    case 3:
    case 5:
      if (p >= 4 * kRowStride || p % kRowStride > kRowMax) return std::nullopt;
      return Indexed{p / kRowStride + 1, p % kRowStride};
    default:
      return std::nullopt;
  }
}

std::optional<int> bezel(std::string_view line) {
  const int p = reply::last_digits(line, 3);
  if (p < 0 || p > kMaxCorrection) return std::nullopt;
  return p;
}

std::optional<Indexed> hdcp(std::string_view line) { return indexed(line, 4, 1); }
std::optional<Indexed> pip_corner(std::string_view line) { return indexed(line, 2, 3); }
std::optional<Indexed> pip_size(std::string_view line) { return indexed(line, 2, 3); }

std::optional<Label> label(std::string_view line) {
  const int input = reply::digit_at(line, 4);
  if (input < 1 || input > 4) return std::nullopt;
  return Label{input, reply::label_text(line)};
}

}  // namespace reading

bool DeviceModel::apply(std::string_view line) {
  DeviceState& s = state_;
  const std::string_view code = reply::code_of(line);
  auto set = [](auto& field, const auto& value) {
    if (!value) return false;
    field = *value;
    return true;
  };

  if (code == code::MOD) return set(s.mode, reading::mode(line));
  if (code == code::OUT) return set(s.channel, reading::channel(line));
  if (code == code::INP) {
    const auto input = reading::input(line);
    if (!input) return false;
    if (s.mode == mode_no::TvWall) {
      // One input feeds the whole wall.
      s.inputs.fill(*input);
      return true;
    }
    if (!s.channel) return false;
    s.inputs[*s.channel - 1] = *input;
    return true;
  }
  if (code == code::RES) {
    const auto number = reading::resolution(line);
    if (!number) return false;
    // "RES000" names no resolution of the list.
    if (*number == 0)
      s.resolution.reset();
    else
      s.resolution = number;
    return true;
  }
  if (code == code::ASP) return set(s.aspect, reading::aspect(line));
  if (code == code::BRI || code == code::CON || code == code::HUE || code == code::SAT) {
    if (!s.mode) return false;
    const auto value = reading::picture(disp_mode_of(*s.mode), line);
    if (!value) return false;
    PictureValues& row = s.picture[value->index - 1];
    auto& field = code == code::BRI   ? row.brightness
                  : code == code::CON ? row.contrast
                  : code == code::HUE ? row.hue
                                      : row.saturation;
    field = value->value;
    return true;
  }
  if (code == code::BEH || code == code::BEV) {
    const auto value = reading::bezel(line);
    if (!value) return false;
    const bool horizontal = code == code::BEH;
    if (bezel_limit_query_) {
      bezel_limit_query_ = false;
      (horizontal ? s.bezel_h_limit : s.bezel_v_limit) = *value;
    } else {
      (horizontal ? s.bezel_h : s.bezel_v) = *value;
    }
    return true;
  }
  if (code == code::BEZ) {
    const auto on = reading::bezel_on(line);
    if (!on) return false;
    s.bezel_on = *on == 1;
    return true;
  }
  if (code == code::PWR) return set(s.power, reading::power(line));
  if (code == code::AUD) return set(s.audio_on, reading::audio_on(line));
  if (code == code::AUE) return set(s.audio_edid, reading::audio_edid(line));
  if (code == code::AUA) return set(s.audio_a, reading::dual_audio(line));
  if (code == code::AUB) return set(s.audio_b, reading::dual_audio(line));
  if (code == code::AUQ) return set(s.audio_quad, reading::quad_audio(line));
  if (code == code::LCK) {
    const auto digit = reading::lock(line);
    if (!digit) return false;
    s.key_lock = *digit != 0;
    return true;
  }
  if (code == code::SAV) return set(s.preset_saved, reading::preset(line));
  if (code == code::CAL) return set(s.preset_recalled, reading::preset(line));
  if (code == code::RST) {
    const auto which = reading::picture_reset(line);
    if (!which) return false;
    if (*which == 1) {
      // Back to the factory settings: nothing is known until it is read again,
      // but the firmware, the network addresses and the bezel limits stay.
      DeviceState fresh;
      fresh.version = s.version;
      fresh.version2 = s.version2;
      fresh.ip = s.ip;
      fresh.mask = s.mask;
      fresh.gateway = s.gateway;
      fresh.bezel_h_limit = s.bezel_h_limit;
      fresh.bezel_v_limit = s.bezel_v_limit;
      s = fresh;
      return true;
    }
    const int rows = s.mode == mode_no::Matrix ? 1 : 4;
    for (int i = 0; i < rows; ++i)
      s.picture[i] = {kPictureResetValue, kPictureResetValue, kPictureResetValue, kPictureResetValue};
    return true;
  }
  if (code == code::VER) {
    if (line.size() < 4) return false;
    s.version = reply::version_text(line);
    return true;
  }
  if (code == code::VR2) {
    if (line.size() < 4) return false;
    s.version2 = reply::version2_text(line);
    return true;
  }
  if (code == code::HPI || code == code::HPO) {
    const auto value = reading::hdcp(line);
    if (!value) return false;
    (code == code::HPI ? s.hdcp_in : s.hdcp_out)[value->index - 1] = value->value;
    return true;
  }
  if (code == code::LAB) {
    const auto on = reading::labels_on(line);
    if (!on) return false;
    s.labels_on = *on == 1;
    return true;
  }
  if (code == code::LAI) {
    auto value = reading::label(line);
    if (!value) return false;
    s.labels[value->input - 1] = std::move(value->text);
    return true;
  }
  if (code == code::PPO || code == code::PSZ) {
    const auto value = code == code::PPO ? reading::pip_corner(line) : reading::pip_size(line);
    if (!value) return false;
    (code == code::PPO ? s.pip_corner : s.pip_size)[value->index - 1] = value->value;
    return true;
  }
  if (code == code::PSW) return true;  // the swap shows on the device only
  return false;
}

void DeviceModel::apply_network(int which, std::string_view answer) {
  if (!answer.empty() && answer.back() == '\r') answer.remove_suffix(1);
  std::optional<std::string>* fields[] = {&state_.ip, &state_.mask, &state_.gateway};
  if (which >= 0 && which <= 2) *fields[which] = std::string(answer);
}

}  // namespace quadrel
