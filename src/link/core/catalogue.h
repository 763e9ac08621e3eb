// The device's command vocabulary: its own codes, command builders and reply readers.
#pragma once

#include <string>
#include <string_view>

namespace quadrel {

// Decimal text of n (0..999) padded on the left with "0" to three characters.
std::string num3(int n);

// The codes the device sends of its own; every parameter's code is its row's
// (link/core/parameters.h).
namespace code {
inline constexpr std::string_view EXT = "EXT";  // the device ends the TCP connection
inline constexpr std::string_view ERR = "ERR";  // the device refused the command
}  // namespace code

namespace cmd {
// code + "999": the current setting.
std::string query(std::string_view code);
// code + "99" + channel digit (1..4): the setting of one channel, input or PiP.
std::string query_channel(std::string_view code, int channel);
// code + "998": the upper limit of a range (bezel corrections).
std::string query_limit(std::string_view code);
// Picture parameter: the value itself in Matrix, 200 * (row - 1) + value in the
// other modes. Returns -1 for a mode that has no encoding.
int picture_param(int disp_mode, int row, int value);
// code + input digit + text + carriage return (a label). Only printable ASCII
// of the text is sent: a control character (a pasted line break, say) would
// end the line early and let the rest reach the device as a command of its own.
std::string label_set(std::string_view code, int input, std::string_view text);
// The text a label command carries after cleaning; exposed for the window that
// shows what was sent.
std::string label_clean(std::string_view text);
}  // namespace cmd

namespace reply {
// The first three characters (fewer if the line is shorter).
std::string_view code_of(std::string_view line);
// The decimal value of the last character, or -1 if it is not a digit.
int last_digit(std::string_view line);
// The decimal value of the last n characters (leading zeros ignored),
// or -1 if the line is shorter or they are not all digits.
int last_digits(std::string_view line, int n);
// The decimal value of the character at 1-based position pos, or -1.
int digit_at(std::string_view line, int pos);
// Characters 5 to 16 of a label reply (at most 12), untrimmed.
std::string label_text(std::string_view line);
// Main firmware version: fourth character, ".", last two characters ("VER123" -> "1.23").
std::string version_text(std::string_view line);
// Second version field: characters 4 to 6, blanks trimmed.
std::string version2_text(std::string_view line);
}  // namespace reply

}  // namespace quadrel
