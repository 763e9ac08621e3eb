#include "link/core/parameters.h"

#include <array>
#include <cstdint>

#include "link/core/catalogue.h"

namespace quadrel {

namespace {

// --- where the model keeps each value ------------------------------------------

template <auto Member>
std::optional<int>* int_field(DeviceState& s, int) {
  return &(s.*Member);
}
template <auto Member>
std::optional<bool>* flag_field(DeviceState& s, int) {
  return &(s.*Member);
}
template <auto Member>
std::optional<std::string>* text_field(DeviceState& s, int) {
  return &(s.*Member);
}
// One of an array's values, by channel 1..N (nullptr beyond it).
template <auto Member>
std::optional<int>* int_of(DeviceState& s, int channel) {
  auto& values = s.*Member;
  return channel >= 1 && channel <= static_cast<int>(values.size()) ? &values[channel - 1] : nullptr;
}
template <auto Member>
std::optional<std::string>* text_of(DeviceState& s, int channel) {
  auto& values = s.*Member;
  return channel >= 1 && channel <= static_cast<int>(values.size()) ? &values[channel - 1] : nullptr;
}
template <auto Member>
std::optional<int>* picture_of(DeviceState& s, int row) {
  return row >= 1 && row <= 4 ? &(s.picture[row - 1].*Member) : nullptr;
}

// --- reading replies -----------------------------------------------------------

template <class T, class V>
Applied store(std::optional<T>& slot, const V& value, Change change, int carried) {
  const bool changed = slot.has_value() && *slot != value;
  const bool news = !slot.has_value() || *slot != value;
  slot = value;
  return {change, changed, carried, news};
}

Change change_of(const Parameter& p, int channel = 0) { return {p.aspect, p.aspect_index >= 0 ? p.aspect_index : channel}; }

// A value of one digit, the last, from lo to hi.
std::optional<Applied> read_digit(DeviceModel& m, const Parameter& p, std::string_view line) {
  const int d = reply::last_digit(line);
  if (d < p.lo || d > p.hi) return std::nullopt;
  return store(*p.number(m.state(), 1), d, change_of(p), d);
}

// A switch: 0 off, any other digit on.
std::optional<Applied> read_switch(DeviceModel& m, const Parameter& p, std::string_view line) {
  const int d = reply::last_digit(line);
  if (d < 0) return std::nullopt;
  return store(*p.flag(m.state(), 1), d != 0, change_of(p), d != 0 ? 1 : 0);
}

// A switch that is 0 or 1, nothing else.
std::optional<Applied> read_flag(DeviceModel& m, const Parameter& p, std::string_view line) {
  const int d = reply::last_digit(line);
  if (d < 0 || d > 1) return std::nullopt;
  return store(*p.flag(m.state(), 1), d == 1, change_of(p), d);
}

// The key lock keeps the digit it reported too.
std::optional<Applied> read_lock(DeviceModel& m, const Parameter& p, std::string_view line) {
  auto applied = read_switch(m, p, line);
  if (applied) m.set_lock_digit(reply::last_digit(line));
  return applied;
}

std::optional<Applied> read_mode(DeviceModel& m, const Parameter& p, std::string_view line) {
  const int mode = reply::last_digit(line);
  if (mode < p.lo || mode > p.hi) return std::nullopt;
  DeviceState& s = m.state();
  const bool same = s.mode == mode;
  if (mode == mode_no::DualPop) m.set_dual_kind(1);
  if (mode == mode_no::DualPip) m.set_dual_kind(2);
  // Which input feeds which channel is read again for another mode; the
  // mode the model held already keeps its routing.
  if (!same) s.inputs = {};
  return store(s.mode, mode, change_of(p), mode);
}

std::optional<Applied> read_input(DeviceModel& m, const Parameter& p, std::string_view line) {
  const int input = reply::last_digit(line);
  if (input < p.lo || input > p.hi) return std::nullopt;
  DeviceState& s = m.state();
  if (m.disp_mode() == mode_no::TvWall) {
    // One input feeds the whole wall.
    bool changed = false, news = false;
    for (const auto& in : s.inputs) {
      changed = changed || (in && *in != input);
      news = news || in != input;
    }
    s.inputs.fill(input);
    return Applied{{p.aspect, 0}, changed, input, news};
  }
  return store(s.inputs[m.sel_out() - 1], input, Change{p.aspect, m.sel_out()}, input);
}

std::optional<Applied> read_resolution(DeviceModel& m, const Parameter& p, std::string_view line) {
  const int number = reply::last_digits(line, 2);
  if (number < 0) return std::nullopt;
  std::optional<int>& slot = *p.number(m.state(), 1);
  // "RES000" names no resolution of the list.
  if (number == 0) {
    const bool changed = slot.has_value();
    slot.reset();
    return Applied{change_of(p), changed, 0, changed};
  }
  return store(slot, number, change_of(p), number);
}

// In Matrix the value of the whole picture, row 1; in the other modes
// 200 * (row - 1) + value.
std::optional<Applied> read_picture(DeviceModel& m, const Parameter& p, std::string_view line) {
  constexpr int kRowStride = 200;
  const int param = reply::last_digits(line, 3);
  if (param < 0) return std::nullopt;
  int row = 1, value = param;
  switch (m.disp_mode()) {
    case mode_no::Matrix:
      if (param > p.hi) return std::nullopt;
      break;
    case mode_no::DualPop:
    case mode_no::TvWall:
    case mode_no::Quad:
      if (param >= 4 * kRowStride || param % kRowStride > p.hi) return std::nullopt;
      row = param / kRowStride + 1;
      value = param % kRowStride;
      break;
    default:
      return std::nullopt;
  }
  return store(*p.number(m.state(), row), value, Change{p.aspect, row}, value);
}

// A correction (axis: the change's index) or, after a limit query, its limit.
std::optional<Applied> read_bezel(DeviceModel& m, const Parameter& p, std::string_view line) {
  const int value = reply::last_digits(line, 3);
  if (value < 0 || value > p.hi) return std::nullopt;
  const int axis = p.aspect_index;
  // A mark whose time is up ends here too: the reply is a value.
  const bool limit = m.bezel_limit_pending(axis);
  m.end_bezel_limit(axis);
  if (limit) return store(*p.limit(m.state(), 1), value, Change{Aspect::BezelLimit, axis}, value);
  return store(*p.number(m.state(), 1), value, Change{p.aspect, axis}, value);
}

// A preset saved or recalled; a reply that names none says that none is the current one.
std::optional<Applied> read_preset(DeviceModel& m, const Parameter& p, std::string_view line) {
  const int d = reply::last_digit(line);
  std::optional<int>& slot = *p.number(m.state(), 1);
  slot = d >= p.lo && d <= p.hi ? std::optional<int>(d) : std::nullopt;
  return Applied{change_of(p), false, d};
}

std::optional<Applied> read_reset(DeviceModel& m, const Parameter& p, std::string_view line) {
  const int which = reply::last_digit(line);
  if (which < p.lo || which > p.hi) return std::nullopt;
  DeviceState& s = m.state();
  if (which == 1) {
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
    m.set_lock_digit(std::nullopt);
    return Applied{{Aspect::FactoryReset, 0}, true, 1};
  }
  // Every picture row of the mode back to its middle.
  const int rows = m.disp_mode() == mode_no::Matrix ? 1 : 4;
  for (int i = 0; i < rows; ++i)
    s.picture[i] = {kPictureResetValue, kPictureResetValue, kPictureResetValue, kPictureResetValue};
  return Applied{{Aspect::PictureReset, 0}, true, 2};
}

std::optional<Applied> read_version(DeviceModel& m, const Parameter& p, std::string_view line) {
  if (line.size() < 4) return std::nullopt;
  const std::string text = p.aspect_index == 1 ? reply::version_text(line) : reply::version2_text(line);
  return store(*p.text(m.state(), 1), text, change_of(p), 0);
}

// code + "0" + channel digit + value digit ("HPI031", "PSZ013").
std::optional<Applied> read_pair(DeviceModel& m, const Parameter& p, std::string_view line) {
  const int channel = reply::digit_at(line, 5);
  const int value = reply::last_digit(line);
  if (channel < 1 || channel > p.channels || value < p.lo || value > p.hi) return std::nullopt;
  return store(*p.number(m.state(), channel), value, change_of(p, channel), value);
}

std::optional<Applied> read_label(DeviceModel& m, const Parameter& p, std::string_view line) {
  const int input = reply::digit_at(line, 4);
  if (input < 1 || input > p.channels) return std::nullopt;
  return store(*p.text(m.state(), input), reply::label_text(line), change_of(p, input), input);
}

// The swap shows on the device only.
std::optional<Applied> read_swap(DeviceModel&, const Parameter& p, std::string_view line) {
  const int pip = reply::last_digit(line);
  return Applied{{p.aspect, pip >= p.lo && pip <= p.hi ? pip : 0}, false, pip};
}

// --- words ---------------------------------------------------------------------

constexpr Choice kModes[] = {
    {"matrix", "Matrix"}, {"dual-pop", "Dual PoP"}, {"tv-wall", "TV Wall"}, {"dual-pip", "Dual PiP"}, {"quad", "Quad"}};
constexpr Choice kPower[] = {{"standby|off", "standby"}, {"on", "on"}};
constexpr Choice kOnOff[] = {{"off", "off"}, {"on", "on"}};
constexpr Choice kAspects[] = {{"full", "FULL"},
                               {"4:3|4:3 tv", "4:3 TV"},
                               {"16:9|16:9 tv", "16:9 TV"},
                               {"16:10|16:10 tv", "16:10 TV"},
                               {"keep|keep ratio|keep-ratio", "Keep Ratio"}};
constexpr Choice kEdid[] = {{"2ch", "2CH"}, {"6ch", "6CH"}, {"8ch", "8CH"}, {"bitstream", "Bitstream"}, {"hd", "HD"}};
constexpr Choice kDualSource[] = {{"left|main", "Left/Main"}, {"right|sub", "Right/Sub"}};
constexpr Choice kQuadrants[] = {{"q1", "Q1"}, {"q2", "Q2"}, {"q3", "Q3"}, {"q4", "Q4"}};
constexpr Choice kHdcpIn[] = {{"on", "on"}, {"off", "off"}};
constexpr Choice kHdcpOut[] = {{"input|follow-input", "follows input"}, {"output|follow-output", "follows output"}};
constexpr Choice kCorners[] = {{"upper-left|ul", "upper left"},
                               {"upper-right|ur", "upper right"},
                               {"lower-right|lr", "lower right"},
                               {"lower-left|ll", "lower left"}};
constexpr Choice kSizes[] = {{"large", "Large"}, {"medium", "Medium"}, {"small", "Small"}, {"off", "Off"}};
constexpr Choice kResets[] = {{"factory", "Factory Reset"}, {"picture", "Reset"}};
constexpr Choice kSwaps[] = {{"a", "SWAP"}, {"b", "SWAP"}};
// The menu keys: each sends one value, named as the key is.
constexpr Choice kMenu[] = {{"menu", "Menu"}}, kExit[] = {{"exit", "Exit"}}, kOk[] = {{"ok", "OK"}},
                 kUp[] = {{"up", "Up"}}, kDown[] = {{"down", "Down"}}, kLeft[] = {{"left", "Left"}},
                 kRight[] = {{"right", "Right"}};

// --- the table -------------------------------------------------------------------

using namespace query;
constexpr unsigned kOutputModes = modes::All & ~modes::TvWall;  // a channel to choose

constexpr FollowUp kNoFollowUp{};
// A mode change recomposes the outputs: what the new mode shows is read.
constexpr FollowUp kAfterModeChange{Read::Map | Read::Picture | Read::Aspect | Read::Pip,
                                    trigger::Set | trigger::Change};
// A preset brings its mode, then what a mode shows, its resolution and its audio.
constexpr FollowUp kAfterRecall{Read::Mode | Read::Map | Read::Picture | Read::Aspect | Read::Pip |
                                    Read::Resolution | Read::Audio,
                                trigger::Always};
// The device restarts: everything, once it answers again.
constexpr FollowUp kAfterFactoryReset{Read::Everything, trigger::Always, 1};
constexpr FollowUp kAfterPowerOn{Read::Everything, trigger::Change, 1};

// A row names what it has; the rest keeps its default.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

// One row per parameter, in the order of the state document. A group's rows
// are read in their `read_order`: a refresh reads the audio sources first,
// the bezel corrections before their switch, the key lock before the power.
constexpr Parameter kTable[] = {
    // Firmware.
    {.code = "VER", .form = Form::Query, .queries = Current, .group = Read::Versions, .value = Value::Text,
     .path = "firmware.version", .caption = "Firmware", .aspect = Aspect::Version, .aspect_index = 1,
     .read = read_version, .text = text_field<&DeviceState::version>},
    {.code = "VR2", .form = Form::Query, .queries = Current, .group = Read::Versions, .value = Value::Text,
     .path = "firmware.version2", .caption = "Second version", .aspect = Aspect::Version, .aspect_index = 2,
     .read = read_version, .text = text_field<&DeviceState::version2>},
    // Power, mode, routing, resolution, aspect.
    {.code = "PWR", .lo = 0, .hi = 1, .queries = Current, .group = Read::Settings, .read_order = 2,
     .value = Value::Word, .choices = kPower, .path = "power", .client = "power VALUE", .caption = "Power",
     .aspect = Aspect::Power, .restarts = true, .restart_value = 1, .follow_up = kAfterPowerOn,
     .read = read_switch, .flag = flag_field<&DeviceState::power>},
    {.code = "MOD", .lo = 1, .hi = 5, .queries = Current, .group = Read::Mode, .value = Value::Word,
     .choices = kModes, .path = "mode", .client = "mode VALUE", .caption = "Mode", .aspect = Aspect::Mode,
     .late_reply = true, .follow_up = kAfterModeChange, .read = read_mode, .number = int_field<&DeviceState::mode>},
    {.code = "OUT", .lo = 1, .hi = 4, .queries = Current, .group = Read::Channel, .modes = kOutputModes,
     .value = Value::Integer, .path = "output", .in_document = false,
     .caption = "Selected output", .aspect = Aspect::Channel, .read = read_digit,
     .number = int_field<&DeviceState::channel>},
    {.code = "INP", .lo = 1, .hi = 4, .channels = 4, .queries = Current, .group = Read::Channel, .read_order = 1,
     .per_mode = true, .value = Value::Integer, .path = "routing.@", .client = "route @ VALUE",
     .caption = "Routing", .aspect = Aspect::Routing, .read = read_input, .number = int_of<&DeviceState::inputs>},
    {.code = "RES", .lo = 1, .hi = 99, .queries = Current, .group = Read::Resolution, .value = Value::Integer,
     .path = "resolution", .client = "resolution VALUE", .caption = "Resolution", .aspect = Aspect::Resolution,
     .read = read_resolution, .number = int_field<&DeviceState::resolution>},
    {.code = "ASP", .lo = 0, .hi = 4, .queries = Current, .group = Read::Aspect, .per_mode = true,
     .value = Value::Word,
     .choices = kAspects, .path = "aspect", .client = "aspect VALUE", .caption = "Aspect",
     .aspect = Aspect::AspectRatio, .read = read_digit, .number = int_field<&DeviceState::aspect>},
    // Picture: of the whole picture in Matrix ("all"), of each channel in the other modes.
    {.code = "BRI", .form = Form::Picture, .lo = 0, .hi = kPictureMax, .channels = 4, .queries = Current | Channel,
     .group = Read::Picture, .per_mode = true, .value = Value::Integer, .path = "picture.*.brightness",
     .client = "picture * brightness|bri VALUE", .caption = "Brightness", .aspect = Aspect::Brightness,
     .read = read_picture, .number = picture_of<&PictureValues::brightness>},
    {.code = "CON", .form = Form::Picture, .lo = 0, .hi = kPictureMax, .channels = 4, .queries = Current | Channel,
     .group = Read::Picture, .per_mode = true, .value = Value::Integer, .path = "picture.*.contrast",
     .client = "picture * contrast|con VALUE", .caption = "Contrast", .aspect = Aspect::Contrast,
     .read = read_picture, .number = picture_of<&PictureValues::contrast>},
    {.code = "HUE", .form = Form::Picture, .lo = 0, .hi = kPictureMax, .channels = 4, .queries = Current | Channel,
     .group = Read::Picture, .per_mode = true, .value = Value::Integer, .path = "picture.*.hue",
     .client = "picture * hue VALUE", .caption = "Hue", .aspect = Aspect::Hue, .read = read_picture,
     .number = picture_of<&PictureValues::hue>},
    {.code = "SAT", .form = Form::Picture, .lo = 0, .hi = kPictureMax, .channels = 4, .queries = Current | Channel,
     .group = Read::Picture, .per_mode = true, .value = Value::Integer, .path = "picture.*.saturation",
     .client = "picture * saturation|sat VALUE", .caption = "Saturation", .aspect = Aspect::Saturation,
     .read = read_picture, .number = picture_of<&PictureValues::saturation>},
    // Bezel: the switch and the corrections, with their upper limits ("998").
    {.code = "BEZ", .lo = 0, .hi = 1, .queries = Current, .group = Read::Bezel, .read_order = 3,
     .value = Value::Flag, .choices = kOnOff, .path = "bezel.on", .client = "bezel VALUE",
     .caption = "Bezel correction", .aspect = Aspect::BezelOn, .read = read_flag,
     .flag = flag_field<&DeviceState::bezel_on>},
    {.code = "BEH", .lo = 0, .hi = kBezelMax, .queries = Current | Limit, .group = Read::Bezel, .read_order = 1,
     .value = Value::Integer, .path = "bezel.h", .limit_path = "bezel.h_limit", .client = "bezel h VALUE",
     .caption = "Horizontal bezel", .aspect = Aspect::Bezel, .aspect_index = 0, .read = read_bezel,
     .number = int_field<&DeviceState::bezel_h>, .limit = int_field<&DeviceState::bezel_h_limit>},
    {.code = "BEV", .lo = 0, .hi = kBezelMax, .queries = Current | Limit, .group = Read::Bezel, .read_order = 2,
     .value = Value::Integer, .path = "bezel.v", .limit_path = "bezel.v_limit", .client = "bezel v VALUE",
     .caption = "Vertical bezel", .aspect = Aspect::Bezel, .aspect_index = 1, .read = read_bezel,
     .number = int_field<&DeviceState::bezel_v>, .limit = int_field<&DeviceState::bezel_v_limit>},
    // Audio: a refresh reads the sources first.
    {.code = "AUD", .lo = 0, .hi = 1, .queries = Current, .group = Read::Audio, .read_order = 3,
     .value = Value::Flag, .choices = kOnOff, .path = "audio.on", .client = "audio VALUE", .caption = "Audio",
     .aspect = Aspect::AudioOn, .read = read_switch, .flag = flag_field<&DeviceState::audio_on>},
    {.code = "AUE", .lo = 0, .hi = 4, .queries = Current, .group = Read::Audio, .read_order = 4,
     .value = Value::Word, .choices = kEdid, .path = "audio.edid", .client = "audio edid VALUE",
     .caption = "Audio EDID", .aspect = Aspect::AudioEdid, .read = read_digit,
     .number = int_field<&DeviceState::audio_edid>},
    {.code = "AUA", .lo = 1, .hi = 2, .queries = Current, .group = Read::Audio, .read_order = 1,
     .value = Value::Integer, .choices = kDualSource, .path = "audio.dual_a", .client = "audio dual-a VALUE",
     .caption = "Dual A audio", .aspect = Aspect::DualAudio, .aspect_index = 1, .read = read_digit,
     .number = int_field<&DeviceState::audio_a>},
    {.code = "AUB", .lo = 1, .hi = 2, .queries = Current, .group = Read::Audio, .read_order = 2,
     .value = Value::Integer, .choices = kDualSource, .path = "audio.dual_b", .client = "audio dual-b VALUE",
     .caption = "Dual B audio", .aspect = Aspect::DualAudio, .aspect_index = 2, .read = read_digit,
     .number = int_field<&DeviceState::audio_b>},
    {.code = "AUQ", .lo = 1, .hi = 4, .queries = Current, .group = Read::Audio, .read_order = 5,
     .value = Value::Integer, .choices = kQuadrants, .path = "audio.quad", .client = "audio quad VALUE",
     .caption = "Quad audio", .aspect = Aspect::QuadAudio, .read = read_digit,
     .number = int_field<&DeviceState::audio_quad>},
    // Key lock.
    {.code = "LCK", .lo = 0, .hi = 1, .queries = Current, .group = Read::Settings, .read_order = 1,
     .value = Value::Flag, .choices = kOnOff, .path = "key_lock", .client = "lock VALUE", .caption = "Key lock",
     .aspect = Aspect::KeyLock, .read = read_lock, .flag = flag_field<&DeviceState::key_lock>},
    // HDCP, labels, PiP: the tool windows' settings.
    {.code = "HPI", .form = Form::Pair, .lo = 0, .hi = 1, .channels = 4, .queries = Channel, .group = Read::Hdcp,
     .value = Value::Word, .choices = kHdcpIn, .path = "hdcp.inputs.#",
     .client = "hdcp input # VALUE", .caption = "HDCP of input", .aspect = Aspect::HdcpInput, .read = read_pair,
     .number = int_of<&DeviceState::hdcp_in>},
    {.code = "HPO", .form = Form::Pair, .lo = 0, .hi = 1, .channels = 4, .queries = Channel, .group = Read::Hdcp,
     .value = Value::Word, .choices = kHdcpOut, .path = "hdcp.outputs.@",
     .client = "hdcp output @ VALUE", .caption = "HDCP of output", .aspect = Aspect::HdcpOutput, .read = read_pair,
     .number = int_of<&DeviceState::hdcp_out>},
    {.code = "LAB", .lo = 0, .hi = 1, .queries = Current, .group = Read::Labels, .value = Value::Flag,
     .choices = kOnOff, .path = "labels.shown", .client = "label VALUE", .caption = "Labels shown",
     .aspect = Aspect::LabelsShown, .read = read_flag, .flag = flag_field<&DeviceState::labels_on>},
    {.code = "LAI", .form = Form::Label, .channels = 4, .queries = Channel, .group = Read::Labels,
     .value = Value::Label, .path = "labels.text.#", .client = "label # TEXT",
     .caption = "Label", .aspect = Aspect::Label, .read = read_label, .text = text_of<&DeviceState::labels>},
    {.code = "PPO", .form = Form::Pair, .lo = 0, .hi = 3, .channels = 2, .queries = Channel, .group = Read::Pip,
     .modes = modes::DualPip, .per_mode = true, .value = Value::Word, .choices = kCorners,
     .path = "pip.@.corner", .client = "pip @ corner VALUE", .caption = "PiP corner", .aspect = Aspect::PipCorner,
     .read = read_pair, .number = int_of<&DeviceState::pip_corner>},
    {.code = "PSZ", .form = Form::Pair, .lo = 0, .hi = 3, .channels = 2, .queries = Channel, .group = Read::Pip,
     .modes = modes::DualPip, .per_mode = true, .value = Value::Word, .choices = kSizes,
     .path = "pip.@.size", .client = "pip @ size VALUE", .caption = "PiP size", .aspect = Aspect::PipSize,
     .read = read_pair, .number = int_of<&DeviceState::pip_size>},
    {.code = "PSW", .lo = 1, .hi = 2, .modes = modes::DualPip, .choices = kSwaps, .path = "pip.@.swap",
     .in_document = false, .client = "pip @ swap", .caption = "PiP swap", .aspect = Aspect::PipSwap,
     .read = read_swap},
    // Resets, presets, menu keys: events the device does, of which the model keeps no setting.
    {.code = "RST", .lo = 1, .hi = 2, .choices = kResets, .path = "factory_reset", .in_document = false, .caption = "Reset",
     .aspect = Aspect::FactoryReset, .restarts = true, .restart_value = 1, .follow_up = kAfterFactoryReset,
     .read = read_reset},
    {.code = "SAV", .lo = 1, .hi = 4, .path = "preset.saved", .in_document = false, .client = "preset save VALUE",
     .caption = "Preset saved", .aspect = Aspect::PresetSaved, .late_reply = true, .read = read_preset,
     .number = int_field<&DeviceState::preset_saved>},
    {.code = "CAL", .lo = 1, .hi = 4, .path = "preset.recalled", .in_document = false,
     .client = "preset recall VALUE", .caption = "Preset recalled", .aspect = Aspect::PresetRecalled,
     .late_reply = true, .follow_up = kAfterRecall, .read = read_preset,
     .number = int_field<&DeviceState::preset_recalled>},
    {.code = "MNX", .lo = 1, .hi = 1, .choices = kMenu, .in_document = false, .client = "key menu", .caption = "Menu key"},
    {.code = "MNE", .lo = 1, .hi = 1, .choices = kExit, .in_document = false, .client = "key exit", .caption = "Menu key"},
    {.code = "MNO", .lo = 1, .hi = 1, .choices = kOk, .in_document = false, .client = "key ok", .caption = "Menu key"},
    {.code = "MNU", .lo = 1, .hi = 1, .choices = kUp, .in_document = false, .client = "key up", .caption = "Menu key"},
    {.code = "MND", .lo = 1, .hi = 1, .choices = kDown, .in_document = false, .client = "key down", .caption = "Menu key"},
    {.code = "MNL", .lo = 1, .hi = 1, .choices = kLeft, .in_document = false, .client = "key left", .caption = "Menu key"},
    {.code = "MNR", .lo = 1, .hi = 1, .choices = kRight, .in_document = false, .client = "key right", .caption = "Menu key"},
    // Network: each answered by a bare address.
    {.code = "EIP", .form = Form::Query, .queries = Current, .group = Read::Network, .value = Value::Text,
     .path = "network.ip", .caption = "IP address", .aspect = Aspect::Network, .aspect_index = 0,
     .text = text_field<&DeviceState::ip>},
    {.code = "EMK", .form = Form::Query, .queries = Current, .group = Read::Network, .value = Value::Text,
     .path = "network.mask", .caption = "Subnet mask", .aspect = Aspect::Network, .aspect_index = 1,
     .text = text_field<&DeviceState::mask>},
    {.code = "EGW", .form = Form::Query, .queries = Current, .group = Read::Network, .value = Value::Text,
     .path = "network.gateway", .caption = "Gateway", .aspect = Aspect::Network, .aspect_index = 2,
     .text = text_field<&DeviceState::gateway>},
};

#pragma GCC diagnostic pop

const std::span<const Parameter> table() { return kTable; }

// A reply's row is looked up for every line: by a hash of its three letters
// into a table made at compile time, a few instructions instead of a search.
constexpr std::size_t kBuckets = 128;
constexpr std::size_t bucket_of(std::string_view code) {
  return (static_cast<unsigned char>(code[0]) * 961u + static_cast<unsigned char>(code[1]) * 31u +
          static_cast<unsigned char>(code[2])) % kBuckets;
}
constexpr std::array<std::uint8_t, kBuckets> make_index() {
  std::array<std::uint8_t, kBuckets> index{};
  index.fill(0xff);
  for (std::size_t row = 0; row < std::size(kTable); ++row) {
    std::size_t b = bucket_of(kTable[row].code);
    while (index[b] != 0xff) b = (b + 1) % kBuckets;
    index[b] = static_cast<std::uint8_t>(row);
  }
  return index;
}
constexpr std::array<std::uint8_t, kBuckets> kIndex = make_index();

bool equal_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Calls f(word) for each of a choice's words.
template <class F>
void each_word(std::string_view words, F&& f) {
  while (!words.empty()) {
    const std::size_t bar = words.find('|');
    f(words.substr(0, bar));
    if (bar == std::string_view::npos) break;
    words.remove_prefix(bar + 1);
  }
}

// A channel as a path names it: '#' by its number, otherwise by its letter.
std::string channel_name(char hole, int channel) {
  if (hole != '#') return std::string(1, static_cast<char>('A' + channel - 1));
  return std::to_string(channel);
}

}  // namespace

// --- the rows ----------------------------------------------------------------------

const ModeNames& mode_names(int mode) {
  static constexpr ModeNames kNames[] = {
      {{"", "", "", ""}, {"", "", "", ""}, {"", ""}},                               // no mode
      {{"A", "B", "C", "D"}, {"ALL", "", "", ""}, {"", ""}},                        // Matrix
      {{"AL", "AR", "BL", "BR"}, {"AL", "AR", "BL", "BR"}, {"Left", "Right"}},      // Dual PoP
      {{"Wall", "", "", ""}, {"Out A", "Out B", "Out C", "Out D"}, {"", ""}},       // TV Wall
      {{"AM", "AS", "BM", "BS"}, {"AM", "AS", "BM", "BS"}, {"Main", "Sub"}},        // Dual PiP
      {{"Q1", "Q2", "Q3", "Q4"}, {"Q1", "Q2", "Q3", "Q4"}, {"", ""}},               // Quad
  };
  return kNames[mode >= mode_no::Matrix && mode <= mode_no::Quad ? mode : 0];
}

std::span<const Parameter> parameters() { return table(); }

const Parameter* parameter(std::string_view code) {
  if (code.size() != 3) return nullptr;
  for (std::size_t b = bucket_of(code); kIndex[b] != 0xff; b = (b + 1) % kBuckets) {
    const Parameter& p = kTable[kIndex[b]];
    if (p.code[0] == code[0] && p.code[1] == code[1] && p.code[2] == code[2]) return &p;
  }
  return nullptr;
}

bool is_reply_code(std::string_view code) { return parameter(code) || code == code::EXT || code == code::ERR; }

std::span<const Parameter> menu_keys() {
  const auto t = table();
  std::size_t first = 0;
  while (first < t.size() && t[first].caption != "Menu key") ++first;
  return t.subspan(first, 7);
}

const Parameter& row_of(Aspect aspect, int index) { return *parameter_of(aspect, index); }

const Parameter* parameter_of(Aspect aspect, int index) {
  for (const Parameter& p : table()) {
    if (!p.read && p.group == Read::None) continue;  // a menu key keeps nothing
    if (p.aspect != aspect && !(aspect == Aspect::BezelLimit && p.limit) &&
        !(aspect == Aspect::PictureReset && p.read == read_reset))
      continue;
    if (p.aspect_index < 0 || p.aspect_index == index) return &p;
  }
  return nullptr;
}

std::optional<int> Parameter::value_of(std::string_view word) const {
  for (int v = lo; v <= hi; ++v) {
    if (word == std::to_string(v)) return v;
    const std::size_t i = static_cast<std::size_t>(v - lo);
    if (i >= choices.size()) continue;
    bool found = false;
    each_word(choices[i].words, [&](std::string_view w) { found = found || equal_nocase(w, word); });
    if (found) return v;
  }
  return std::nullopt;
}

std::string_view Parameter::word(int v) const {
  const int i = v - lo;
  if (i < 0 || i >= static_cast<int>(choices.size())) return {};
  const std::string_view words = choices[static_cast<std::size_t>(i)].words;
  return words.substr(0, words.find('|'));
}

std::string_view Parameter::caption_of(int v) const {
  const int i = v - lo;
  return i >= 0 && i < static_cast<int>(choices.size()) ? choices[static_cast<std::size_t>(i)].caption
                                                         : std::string_view();
}

std::string Parameter::path_of(int channel, int mode) const {
  std::string p(path);
  const std::size_t hole = p.find_first_of("@#*");
  if (hole == std::string::npos) return p;
  if (p[hole] == '*' && mode == mode_no::Matrix) return p.replace(hole, 1, "all");
  return p.replace(hole, 1, channel_name(p[hole], channel));
}

std::optional<int> Parameter::value_in(const DeviceState& state, int channel) const {
  auto& s = const_cast<DeviceState&>(state);
  if (number) {
    const std::optional<int>* slot = number(s, channel);
    return slot ? *slot : std::nullopt;
  }
  if (flag) {
    const std::optional<bool>* slot = flag(s, channel);
    if (!slot || !*slot) return std::nullopt;
    return **slot ? 1 : 0;
  }
  return std::nullopt;
}

const std::optional<std::string>* Parameter::text_in(const DeviceState& state, int channel) const {
  return text ? text(const_cast<DeviceState&>(state), channel) : nullptr;
}

// --- follow-ups ----------------------------------------------------------------------

Reads follow_ups(const Parameter& row, Door door, const Applied& applied) {
  const FollowUp& f = row.follow_up;
  if (f.reads.empty() || (f.value >= 0 && applied.value != f.value)) return {};
  const bool due = ((f.when & trigger::Always) != 0) || ((f.when & trigger::Set) && door == Door::Set) ||
                   ((f.when & trigger::Change) && applied.changed);
  return due ? f.reads : Reads();
}

Reads follow_ups_of_refusal(const Parameter& row, int value) {
  const FollowUp& f = row.follow_up;
  if (f.reads.empty() || (f.value >= 0 && value != f.value)) return {};
  return (f.when & (trigger::Set | trigger::Always)) ? f.reads : Reads();
}

// --- commands ----------------------------------------------------------------------

std::string set_command(const Parameter& row, int value, int channel, int disp_mode) {
  const std::string code(row.code);
  switch (row.form) {
    case Form::Number:
      if (value < row.lo || value > row.hi) return {};
      return code + num3(value);
    case Form::Picture: {
      if (value < row.lo || value > row.hi) return {};
      const int param = cmd::picture_param(disp_mode, disp_mode == mode_no::Matrix ? 1 : channel, value);
      return param < 0 ? std::string() : code + num3(param);
    }
    case Form::Pair:
      if (value < row.lo || value > row.hi || channel < 1 || channel > row.channels) return {};
      return code + "0" + std::to_string(channel) + std::to_string(value);
    case Form::Label:
    case Form::Query:
      return {};
  }
  return {};
}

std::string query_command(const Parameter& row, int channel) {
  if (channel > 0) return row.has_query(query::Channel) ? cmd::query_channel(row.code, channel) : std::string();
  return row.has_query(query::Current) ? cmd::query(row.code) : std::string();
}

std::optional<CheckedLine> check_line(std::string_view line) {
  auto digits = [](std::string_view text) {
    for (char c : text)
      if (c < '0' || c > '9') return false;
    return !text.empty();
  };
  if (line.size() < 4 || line.size() > kMaxCommandLength) return std::nullopt;
  const Parameter* row = parameter(line.substr(0, 3));
  if (!row) return std::nullopt;
  const std::string_view param = line.substr(3);
  CheckedLine checked;
  checked.row = row;
  if (row->form == Form::Label && param[0] >= '1' && param[0] - '0' <= row->channels) {
    // The label's own characters: anything printable, at most 12 of them.
    for (char c : param)
      if (c < 0x20 || c > 0x7e) return std::nullopt;
    if (param.size() > 1 + kLongestLabel) return std::nullopt;
    checked.kind = CheckedLine::Kind::Setting;
    checked.channel = param[0] - '0';
    return checked;
  }
  if (param.size() != 3 || !digits(param)) return std::nullopt;
  const int value = (param[0] - '0') * 100 + (param[1] - '0') * 10 + (param[2] - '0');
  if (value == 999 && row->has_query(query::Current)) {
    checked.kind = row->group == Read::Network ? CheckedLine::Kind::Network : CheckedLine::Kind::Query;
    return checked;
  }
  if (value == 998 && row->has_query(query::Limit)) {
    checked.limit = true;
    return checked;
  }
  if (value >= 991 && value < 991 + row->channels && row->has_query(query::Channel)) {
    checked.channel = value - 990;
    return checked;
  }
  checked.kind = CheckedLine::Kind::Setting;
  switch (row->form) {
    case Form::Number:
      if (value < row->lo || value > row->hi) return std::nullopt;
      checked.value = value;
      return checked;
    case Form::Picture: {
      // Any row's range: 0..100, 200..300, 400..500, 600..700.
      if (value >= 800 || value % 200 > row->hi) return std::nullopt;
      checked.value = value % 200;
      checked.channel = value / 200 + 1;
      return checked;
    }
    case Form::Pair: {
      const int channel = param[1] - '0', choice = param[2] - '0';
      if (param[0] != '0' || channel < 1 || channel > row->channels || choice < row->lo || choice > row->hi)
        return std::nullopt;
      checked.value = choice;
      checked.channel = channel;
      return checked;
    }
    default:
      return std::nullopt;
  }
}

}  // namespace quadrel
