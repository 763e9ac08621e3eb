// The Corvane's parameters, one row each: the one description that the model,
// the document, apply, the hub's line check, the client and the web panel derive from.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "link/core/device_state.h"

namespace quadrel {

// The device's query sequences. Each parameter is read by one of them (its
// group); a change names, as a set, the ones that must follow it.
enum class Read : unsigned {
  None = 0,
  Versions = 1u << 0,    // the firmware versions
  Audio = 1u << 1,       // the audio settings
  Bezel = 1u << 2,       // the corrections and their switch, then the upper limits ("998")
  Settings = 1u << 3,    // key lock and power
  Resolution = 1u << 4,
  Mode = 1u << 5,
  Channel = 1u << 6,     // the current output channel (none in the TV Wall) and its input
  Aspect = 1u << 7,
  Map = 1u << 8,         // the routing of every output (of the TV Wall: its one input)
  Picture = 1u << 9,     // the picture values of the mode
  Hdcp = 1u << 10,
  Labels = 1u << 11,
  Pip = 1u << 12,        // in the Dual PiP mode only
  Network = 1u << 13,    // the addresses, each a bare answer
  Everything = 1u << 14, // all of them: what a refresh and the tool windows read, and the network
};

// A set of reads; empty by default.
class Reads {
 public:
  constexpr Reads() = default;
  constexpr Reads(Read read) : bits_(static_cast<unsigned>(read)) {}
  constexpr bool has(Read read) const { return (bits_ & static_cast<unsigned>(read)) != 0; }
  constexpr bool empty() const { return bits_ == 0; }
  constexpr Reads operator|(Reads other) const { return from(bits_ | other.bits_); }
  constexpr Reads without(Reads other) const { return from(bits_ & ~other.bits_); }
  constexpr bool operator==(const Reads&) const = default;
  constexpr unsigned bits() const { return bits_; }

 private:
  static constexpr Reads from(unsigned bits) {
    Reads r;
    r.bits_ = bits;
    return r;
  }
  unsigned bits_ = 0;
};
constexpr Reads operator|(Read a, Read b) { return Reads(a) | Reads(b); }

// The order in which pending follow-up reads run: "Everything" covers the
// rest; a mode is read before what it decides (the routing, the picture).
inline constexpr Read kFollowUpOrder[] = {Read::Everything, Read::Mode,       Read::Map,  Read::Picture,
                                          Read::Aspect,     Read::Pip,        Read::Resolution,
                                          Read::Audio};

// The display modes a parameter exists in, by the numbers the device reports (1..5).
namespace modes {
inline constexpr unsigned of(int mode) { return mode >= 1 && mode <= 5 ? 1u << mode : 0u; }
inline constexpr unsigned Matrix = 1u << 1, DualPop = 1u << 2, TvWall = 1u << 3, DualPip = 1u << 4, Quad = 1u << 5;
inline constexpr unsigned All = Matrix | DualPop | TvWall | DualPip | Quad;
}  // namespace modes

// What a display mode (1..5) calls its four output channels (empty: the
// channel is not used in it), its four picture rows (the Matrix mode has
// one, the whole picture) and the two pictures whose sound the dual audio
// choices take (none outside the dual modes): the panel's captions.
struct ModeNames {
  std::array<std::string_view, 4> outputs;
  std::array<std::string_view, 4> picture_rows;
  std::array<std::string_view, 2> sources;
};
// All empty for a number that is no mode.
const ModeNames& mode_names(int mode);

// The two interlaced 1080-line resolutions (5 and 6) are served in Matrix only.
constexpr bool is_interlaced_1080(int number) { return number == 5 || number == 6; }

// How a command of the parameter is written.
enum class Form {
  Number,   // code + num3(value): "MOD002", "BEH120"
  Picture,  // code + num3(value) in Matrix; num3(200 * (row - 1) + value) in the other modes
  Pair,     // code + "0" + channel digit + value digit: "HPI021"
  Label,    // code + input digit + text, and its own carriage return
  Query,    // asked, never set: "VER999", "EIP999"
};

// Which queries the device answers for it.
namespace query {
inline constexpr unsigned None = 0;
inline constexpr unsigned Current = 1;  // code + "999"
inline constexpr unsigned Channel = 2;  // code + "99" + channel digit, for each channel
inline constexpr unsigned Limit = 4;    // code + "998": the upper limit of its range
}  // namespace query

// How the document shows the value.
enum class Value {
  None,     // no value of the document: an event (a preset, a reset, a menu key, the swap)
  Integer,  // a whole number from `lo` to `hi`
  Word,     // one of the choices' first words
  Flag,     // true or false (the device's 1 or 0)
  Label,    // an input label: at most 12 printable ASCII characters
  Text,     // text the device reports (read-only)
};

// One value's words: the first is the one printed, the others, after a '|',
// are taken too ("standby|off"); and its caption as the panel shows it.
struct Choice {
  std::string_view words;
  std::string_view caption;
};

// When the reads of a row follow one of its replies.
namespace trigger {
inline constexpr unsigned Set = 1;     // the answer to a command that sets it (a refusal too)
inline constexpr unsigned Change = 2;  // any reply that changes a value the model knew
inline constexpr unsigned Always = 4;  // every reply: an event, which the model keeps no value of
}  // namespace trigger

struct FollowUp {
  Reads reads;
  unsigned when = 0;
  int value = -1;  // only after a reply of this value (-1: any)
};

// How a reply reached the model.
enum class Door {
  Set,     // the answer to a command that sets the parameter (also when it came late)
  Query,   // the answer to a query
  Report,  // a line the device sent on its own: a change on its front panel
};

// What one reply did to the model.
struct Applied {
  Change change;
  bool changed = false;  // the model knew another value before
  int value = 0;         // the value the reply carried (1 on, 0 off for switches)
  bool news = true;      // the model holds what it did not (another value, or one it did not know)
};

struct Parameter;
// Reads one reply (without its carriage return) of the row's code into the
// model; nothing for a reply that names no valid value.
using ReplyReader = std::optional<Applied> (*)(DeviceModel& model, const Parameter& row, std::string_view line);
// Where the model keeps the row's value of channel 1..channels (1 for a row
// without channels; for a picture row, the picture row).
using IntSlot = std::optional<int>* (*)(DeviceState& state, int channel);
using FlagSlot = std::optional<bool>* (*)(DeviceState& state, int channel);
using TextSlot = std::optional<std::string>* (*)(DeviceState& state, int channel);

struct Parameter {
  std::string_view code;
  Form form = Form::Number;
  int lo = 0, hi = 0;          // the values a command sets (a Pair's value digit)
  int channels = 0;            // channels of the "99n" queries and of a Pair (1..channels)
  unsigned queries = query::None;
  Read group = Read::None;     // the query sequence that reads it
  int read_order = 0;          // its place in that sequence (lower first; the table's order among equals)
  unsigned modes = modes::All; // where it exists (the document shows null elsewhere)
  bool per_mode = false;       // each mode has its own: read anew when a mode shows
  Value value = Value::None;
  // Word: the words of lo..hi; Integer, Flag: words the client takes too.
  // Words are separated by '|' ("standby|off").
  std::span<const Choice> choices;
  // The document's path ("bezel.h"); '@' stands for a channel's letter,
  // '#' for its number, '*' for a picture row ("all" in Matrix). A record of
  // what the device reports, not in the document, where `in_document` is false.
  std::string_view path;
  std::string_view limit_path;  // the read-only upper limit ("998"), if any
  bool in_document = true;
  // The client's words: "audio dual-a VALUE"; '@' or '#' the channel, VALUE
  // and TEXT the value. Empty: the client has a command of its own for it.
  std::string_view client;
  std::string_view caption;  // how a person calls it: "Dual A audio"
  Aspect aspect = Aspect::Version;
  int aspect_index = -1;     // the change's index where it is not the reply's channel
  bool late_reply = false;   // the device may answer only once it is done
  bool restarts = false;     // a set of `restart_value` restarts the device
  int restart_value = -1;
  FollowUp follow_up;
  ReplyReader read = nullptr;  // nullptr: no reply handler (the answer only ends the exchange)
  // Where the value is kept: a number (a word's value too), a switch, or text.
  IntSlot number = nullptr;
  IntSlot limit = nullptr;
  FlagSlot flag = nullptr;
  TextSlot text = nullptr;

  // Helpers derived from the row.
  bool settable() const { return form != Form::Query; }
  bool has_query(unsigned which) const { return (queries & which) != 0; }
  bool exists_in(int mode) const { return (modes & modes::of(mode)) != 0; }
  // The value a word stands for (case-insensitive; the number itself too), or nothing.
  std::optional<int> value_of(std::string_view word) const;
  // The first word of a value ("" when it has none).
  std::string_view word(int value) const;
  std::string_view caption_of(int value) const;
  // The path for channel 1..channels and, for a picture row, the mode.
  std::string path_of(int channel, int mode = 1) const;
  std::string limit_path_of() const { return std::string(limit_path); }
  // The value of channel 1..channels in a state (a switch as 1 or 0), or
  // nothing when it is not known.
  std::optional<int> value_in(const DeviceState& state, int channel = 1) const;
  const std::optional<std::string>* text_in(const DeviceState& state, int channel = 1) const;
};

// Every parameter, in the order of the state document.
std::span<const Parameter> parameters();
// The row of a code, or nullptr.
const Parameter* parameter(std::string_view code);
// A code the device answers with: a parameter's, "EXT" or "ERR".
bool is_reply_code(std::string_view code);
// The rows read by a query sequence, in their read order; f returns false to stop.
template <class F>
bool for_each_in(Read group, F&& f) {
  const Parameter* rows[16];
  std::size_t n = 0;
  for (const Parameter& p : parameters()) {
    if (p.group != group || n == std::size(rows)) continue;
    // In read order; among equals, in the table's.
    std::size_t at = n++;
    for (; at > 0 && rows[at - 1]->read_order > p.read_order; --at) rows[at] = rows[at - 1];
    rows[at] = &p;
  }
  for (std::size_t i = 0; i < n; ++i)
    if (!f(*rows[i])) return false;
  return true;
}
// The row that reports `aspect` with `index`, or nullptr.
const Parameter* parameter_of(Aspect aspect, int index);

// The menu keys' rows, in the order Menu, Exit, OK, Up, Down, Left, Right.
std::span<const Parameter> menu_keys();
// The row that keeps `aspect` (of index 1 for rows that differ by it), which must exist.
const Parameter& row_of(Aspect aspect, int index = 1);
// The reads a reply asks for, by the row's follow-up.
Reads follow_ups(const Parameter& row, Door door, const Applied& applied);
// The reads a refused command asks for ("ERR" to a recall still reloads the map).
Reads follow_ups_of_refusal(const Parameter& row, int value);

// --- commands of a row -------------------------------------------------------

// The command that sets `value` (of channel 1..channels, for a Pair; of a
// picture row in `disp_mode`, for Picture); empty when the row takes no such value.
std::string set_command(const Parameter& row, int value, int channel = 0, int disp_mode = 1);
// The query of the current value, or of one channel; empty when there is none.
std::string query_command(const Parameter& row, int channel = 0);

// A line (without its carriage return) read against the table, as the device
// takes commands.
struct CheckedLine {
  enum class Kind {
    Query,    // asks for a value ("999", "991".."99n", "998")
    Setting,  // changes something
    Network,  // a network query, answered by a bare address
  };
  const Parameter* row = nullptr;
  Kind kind = Kind::Query;
  int value = -1;   // a setting's value (a Pair's value digit); -1 for a query and a label
  int channel = 0;  // a Pair's or a label's channel; a "99n" query's n
  bool limit = false;  // the "998" query
};
// The longest command line: a label command with the longest label.
inline constexpr std::size_t kLongestLabel = 12;
inline constexpr std::size_t kMaxCommandLength = 3 + 1 + kLongestLabel;
// Nothing for a line that is no command of the device: an unknown code, a
// value out of range, lower case, spaces, a label longer than 12 characters
// or with a character outside printable ASCII.
std::optional<CheckedLine> check_line(std::string_view line);

}  // namespace quadrel
