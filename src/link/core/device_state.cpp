#include "link/core/device_state.h"

#include "link/core/catalogue.h"

namespace quadrel {

namespace {

constexpr int kRowMax = kPictureMax;
constexpr int kRowStride = 200;  // picture parameter per row outside Matrix
constexpr int kMaxCorrection = kBezelMax;

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

void DeviceModel::clear() {
  state_ = {};
  dual_kind_ = 0;
  lock_digit_.reset();
  limit_until_ = {};
}

void DeviceModel::expect_bezel_limit(int axis, Clock::duration wait) {
  if (axis == 0 || axis == 1) limit_until_[axis] = Clock::now() + wait;
}

bool DeviceModel::bezel_limit_pending(int axis) const {
  return (axis == 0 || axis == 1) && limit_until_[axis] && Clock::now() < *limit_until_[axis];
}

void DeviceModel::end_bezel_limit(int axis) {
  if (axis == 0 || axis == 1) limit_until_[axis].reset();
}

std::optional<Change> DeviceModel::apply(std::string_view line) {
  DeviceState& s = state_;
  const std::string_view code = reply::code_of(line);
  // Sets a field from what the reply reads as; nothing for a reply that reads as nothing.
  auto set = [](auto& field, const auto& value, Aspect aspect, int index = 0) -> std::optional<Change> {
    if (!value) return std::nullopt;
    field = *value;
    return Change{aspect, index};
  };

  if (code == code::MOD) {
    const auto mode = reading::mode(line);
    if (!mode) return std::nullopt;
    s.mode = *mode;
    if (*mode == mode_no::DualPop) dual_kind_ = 1;
    if (*mode == mode_no::DualPip) dual_kind_ = 2;
    // Which input feeds which channel is read again for the mode reported.
    s.inputs = {};
    return Change{Aspect::Mode};
  }
  if (code == code::OUT) return set(s.channel, reading::channel(line), Aspect::Channel);
  if (code == code::INP) {
    const auto input = reading::input(line);
    if (!input) return std::nullopt;
    if (disp_mode() == mode_no::TvWall) {
      // One input feeds the whole wall.
      s.inputs.fill(*input);
      return Change{Aspect::Routing, 0};
    }
    s.inputs[sel_out() - 1] = *input;
    return Change{Aspect::Routing, sel_out()};
  }
  if (code == code::RES) {
    const auto number = reading::resolution(line);
    if (!number) return std::nullopt;
    // "RES000" names no resolution of the list.
    if (*number == 0)
      s.resolution.reset();
    else
      s.resolution = number;
    return Change{Aspect::Resolution};
  }
  if (code == code::ASP) return set(s.aspect, reading::aspect(line), Aspect::AspectRatio);
  if (code == code::BRI || code == code::CON || code == code::HUE || code == code::SAT) {
    const auto value = reading::picture(disp_mode(), line);
    if (!value) return std::nullopt;
    PictureValues& row = s.picture[value->index - 1];
    auto& field = code == code::BRI   ? row.brightness
                  : code == code::CON ? row.contrast
                  : code == code::HUE ? row.hue
                                      : row.saturation;
    field = value->value;
    const Aspect aspect = code == code::BRI   ? Aspect::Brightness
                          : code == code::CON ? Aspect::Contrast
                          : code == code::HUE ? Aspect::Hue
                                              : Aspect::Saturation;
    return Change{aspect, value->index};
  }
  if (code == code::BEH || code == code::BEV) {
    const auto value = reading::bezel(line);
    if (!value) return std::nullopt;
    const int axis = code == code::BEH ? 0 : 1;
    // A mark whose time is up ends here too: the reply is a value.
    const bool limit = bezel_limit_pending(axis);
    end_bezel_limit(axis);
    if (limit) {
      (axis == 0 ? s.bezel_h_limit : s.bezel_v_limit) = *value;
      return Change{Aspect::BezelLimit, axis};
    }
    (axis == 0 ? s.bezel_h : s.bezel_v) = *value;
    return Change{Aspect::Bezel, axis};
  }
  if (code == code::BEZ) {
    const auto on = reading::bezel_on(line);
    if (!on) return std::nullopt;
    s.bezel_on = *on == 1;
    return Change{Aspect::BezelOn};
  }
  if (code == code::PWR) return set(s.power, reading::power(line), Aspect::Power);
  if (code == code::AUD) return set(s.audio_on, reading::audio_on(line), Aspect::AudioOn);
  if (code == code::AUE) return set(s.audio_edid, reading::audio_edid(line), Aspect::AudioEdid);
  if (code == code::AUA) return set(s.audio_a, reading::dual_audio(line), Aspect::DualAudio, 1);
  if (code == code::AUB) return set(s.audio_b, reading::dual_audio(line), Aspect::DualAudio, 2);
  if (code == code::AUQ) return set(s.audio_quad, reading::quad_audio(line), Aspect::QuadAudio);
  if (code == code::LCK) {
    const auto digit = reading::lock(line);
    if (!digit) return std::nullopt;
    lock_digit_ = digit;
    s.key_lock = *digit != 0;
    return Change{Aspect::KeyLock};
  }
  if (code == code::SAV || code == code::CAL) {
    // A reply that names no preset says that none is the current one.
    (code == code::SAV ? s.preset_saved : s.preset_recalled) = reading::preset(line);
    return Change{code == code::SAV ? Aspect::PresetSaved : Aspect::PresetRecalled};
  }
  if (code == code::RST) {
    const auto which = reading::picture_reset(line);
    if (!which) return std::nullopt;
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
      lock_digit_.reset();
      return Change{Aspect::FactoryReset};
    }
    const int rows = disp_mode() == mode_no::Matrix ? 1 : 4;
    for (int i = 0; i < rows; ++i)
      s.picture[i] = {kPictureResetValue, kPictureResetValue, kPictureResetValue, kPictureResetValue};
    return Change{Aspect::PictureReset};
  }
  if (code == code::VER) {
    if (line.size() < 4) return std::nullopt;
    s.version = reply::version_text(line);
    return Change{Aspect::Version, 1};
  }
  if (code == code::VR2) {
    if (line.size() < 4) return std::nullopt;
    s.version2 = reply::version2_text(line);
    return Change{Aspect::Version, 2};
  }
  if (code == code::HPI || code == code::HPO) {
    const auto value = reading::hdcp(line);
    if (!value) return std::nullopt;
    (code == code::HPI ? s.hdcp_in : s.hdcp_out)[value->index - 1] = value->value;
    return Change{code == code::HPI ? Aspect::HdcpInput : Aspect::HdcpOutput, value->index};
  }
  if (code == code::LAB) {
    const auto on = reading::labels_on(line);
    if (!on) return std::nullopt;
    s.labels_on = *on == 1;
    return Change{Aspect::LabelsShown};
  }
  if (code == code::LAI) {
    auto value = reading::label(line);
    if (!value) return std::nullopt;
    s.labels[value->input - 1] = std::move(value->text);
    return Change{Aspect::Label, value->input};
  }
  if (code == code::PPO || code == code::PSZ) {
    const auto value = code == code::PPO ? reading::pip_corner(line) : reading::pip_size(line);
    if (!value) return std::nullopt;
    (code == code::PPO ? s.pip_corner : s.pip_size)[value->index - 1] = value->value;
    return Change{code == code::PPO ? Aspect::PipCorner : Aspect::PipSize, value->index};
  }
  if (code == code::PSW) {
    // The swap shows on the device only.
    const int pip = reply::last_digit(line);
    return Change{Aspect::PipSwap, pip == 1 || pip == 2 ? pip : 0};
  }
  return std::nullopt;
}

std::optional<Change> DeviceModel::apply_network(int which, std::string_view answer) {
  if (which < 0 || which > 2) return std::nullopt;
  if (!answer.empty() && answer.back() == '\r') answer.remove_suffix(1);
  std::optional<std::string>* fields[] = {&state_.ip, &state_.mask, &state_.gateway};
  *fields[which] = std::string(answer);
  return Change{Aspect::Network, which};
}

}  // namespace quadrel
