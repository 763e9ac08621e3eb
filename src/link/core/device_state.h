// The device's settings as its replies report them, and the rules that turn a reply into them.
#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace quadrel {

// Display modes as the device numbers them.
namespace mode_no {
inline constexpr int Matrix = 1;
inline constexpr int DualPop = 2;
inline constexpr int TvWall = 3;
inline constexpr int DualPip = 4;
inline constexpr int Quad = 5;
}  // namespace mode_no

// A picture value runs from 0 to this; a picture reset sets every value to 50.
inline constexpr int kPictureMax = 100;
inline constexpr int kPictureResetValue = 50;
// The largest bezel correction (or limit) the protocol carries.
inline constexpr int kBezelMax = 254;

// The mode number by which replies and commands are encoded: both dual modes
// are 2 (the Dual PiP report counts as the Dual PoP one).
int disp_mode_of(int mode);

// Brightness, contrast, hue and saturation of one picture, 0..100 each.
struct PictureValues {
  std::optional<int> brightness, contrast, hue, saturation;
  bool operator==(const PictureValues&) const = default;
};

// What is known of the device. A value the device has not reported is empty.
struct DeviceState {
  std::optional<std::string> version;   // main firmware, shown as "1.23"
  std::optional<std::string> version2;  // the second version field
  std::optional<bool> power;            // on (true) or standby
  std::optional<int> mode;              // 1..5 as reported (Dual PiP is 4 here)
  std::optional<int> channel;           // the device's current output channel 1..4
  std::array<std::optional<int>, 4> inputs;  // input 1..4 feeding channel A..D
  std::optional<int> resolution;        // 1..99, the resolution list's position + 1
  std::optional<int> aspect;            // 0 FULL .. 4 Keep Ratio
  // Per channel A..D; in Matrix the first holds the whole picture.
  std::array<PictureValues, 4> picture;
  std::optional<bool> bezel_on;
  std::optional<int> bezel_h, bezel_v;              // 0..254
  std::optional<int> bezel_h_limit, bezel_v_limit;  // the device's upper limits
  std::optional<bool> audio_on;
  std::optional<int> audio_edid;                    // 0 2CH .. 4 HD
  std::optional<int> audio_a, audio_b;              // 1 left/main, 2 right/sub
  std::optional<int> audio_quad;                    // 1..4
  std::optional<bool> key_lock;
  std::array<std::optional<int>, 4> hdcp_in;        // per input: 0 HDCP on, 1 off
  std::array<std::optional<int>, 4> hdcp_out;       // per output: 0 follow input, 1 follow output
  std::optional<bool> labels_on;
  std::array<std::optional<std::string>, 4> labels;
  std::array<std::optional<int>, 2> pip_corner;     // PiP A, B: 0 upper left .. 3 lower left
  std::array<std::optional<int>, 2> pip_size;       // PiP A, B: 0 Large .. 3 Off
  std::optional<std::string> ip, mask, gateway;     // as the device spells them
  std::optional<int> preset_saved, preset_recalled;

  bool operator==(const DeviceState&) const = default;
};

// What one reply (or network answer) changed, for whoever shows the device.
enum class Aspect {
  Version,         // index 1 the main firmware, 2 the second field
  Power,
  Mode,
  Channel,         // the device's current output channel
  Routing,         // index: the channel 1..4 whose input was reported; 0 every channel (TV Wall)
  Resolution,
  AspectRatio,
  Brightness,      // index: the picture row 1..4, for these four
  Contrast,
  Hue,
  Saturation,
  PictureReset,    // every picture row of the mode back to 50
  BezelOn,
  Bezel,           // index 0 horizontal, 1 vertical, for these two
  BezelLimit,
  AudioOn,
  AudioEdid,
  DualAudio,       // index 1 Dual A, 2 Dual B
  QuadAudio,
  KeyLock,
  PresetSaved,     // the preset is empty when the reply named none
  PresetRecalled,
  FactoryReset,    // everything is unknown again but the firmware, the network and the limits
  HdcpInput,       // index: input or output 1..4, for these two
  HdcpOutput,
  LabelsShown,
  Label,           // index: input 1..4
  PipCorner,       // index: PiP 1 (A) or 2 (B), for these three
  PipSize,
  PipSwap,
  Network,         // index 0 IP address, 1 subnet mask, 2 gateway
};

struct Change {
  Aspect aspect;
  int index = 0;
  bool operator==(const Change&) const = default;
};

struct Parameter;
struct Applied;

// Keeps a DeviceState up to date from the device's replies, read by the rows
// of the parameter table, with the rules that read a reply in the light of
// earlier ones: the mode decides how a picture value is encoded, the current
// output which channel an input report belongs to, a pending limit query
// whether a bezel value is a limit.
class DeviceModel {
 public:
  using Clock = std::chrono::steady_clock;

  const DeviceState& state() const { return state_; }
  DeviceState& state() { return state_; }
  // Back to what is known before the device has said anything.
  void clear();

  // Applies one reply (without its carriage return). Returns what it changed;
  // a reply that names no setting changes nothing and returns nothing.
  std::optional<Change> apply(std::string_view line);
  // The same, with whether the model knew another value and the row that read it.
  std::optional<Applied> read(std::string_view line, const Parameter** row = nullptr);
  // A network answer (the bare address) for query 0 IP, 1 mask, 2 gateway.
  std::optional<Change> apply_network(int which, std::string_view answer);

  // The mode number replies and commands are encoded by (Dual PiP counts as
  // Dual PoP); Matrix until a mode is reported.
  int disp_mode() const { return state_.mode ? disp_mode_of(*state_.mode) : mode_no::Matrix; }
  // The output channel an input report belongs to: output A until one is reported.
  int sel_out() const { return state_.channel.value_or(1); }
  // 1 after a Dual PoP report, 2 after a Dual PiP one, 0 before either.
  int dual_kind() const { return dual_kind_; }
  void set_dual_kind(int kind) { dual_kind_ = kind; }
  // The digit of the last lock report (any but 0 is locked).
  std::optional<int> lock_digit() const { return lock_digit_; }
  void set_lock_digit(std::optional<int> digit) { lock_digit_ = digit; }

  // The next BEH (axis 0) or BEV (axis 1) reply answers a limit query
  // ("998"), not a value query: until it comes, `wait` has passed or the
  // mark is ended.
  void expect_bezel_limit(int axis, Clock::duration wait = kLimitWait);
  bool bezel_limit_pending(int axis) const;
  void end_bezel_limit(int axis);

  // How long an unanswered limit query keeps its mark.
  static constexpr Clock::duration kLimitWait = std::chrono::seconds(3);

 private:
  DeviceState state_;
  int dual_kind_ = 0;
  std::optional<int> lock_digit_;
  std::array<std::optional<Clock::time_point>, 2> limit_until_;
};

}  // namespace quadrel
