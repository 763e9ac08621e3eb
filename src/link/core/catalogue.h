// The device's command vocabulary: codes, command builders and reply readers.
#pragma once

#include <string>
#include <string_view>

namespace quadrel {

// Decimal text of n (0..999) padded on the left with "0" to three characters.
std::string num3(int n);

namespace code {
// Routing and modes.
inline constexpr std::string_view MOD = "MOD";
inline constexpr std::string_view OUT = "OUT";
inline constexpr std::string_view INP = "INP";
inline constexpr std::string_view RES = "RES";
inline constexpr std::string_view ASP = "ASP";
// Picture, bezel, audio, power.
inline constexpr std::string_view BRI = "BRI";
inline constexpr std::string_view CON = "CON";
inline constexpr std::string_view HUE = "HUE";
inline constexpr std::string_view SAT = "SAT";
inline constexpr std::string_view BEH = "BEH";
inline constexpr std::string_view BEV = "BEV";
inline constexpr std::string_view BEZ = "BEZ";
inline constexpr std::string_view AUD = "AUD";
inline constexpr std::string_view AUE = "AUE";
inline constexpr std::string_view AUA = "AUA";
inline constexpr std::string_view AUB = "AUB";
inline constexpr std::string_view AUQ = "AUQ";
inline constexpr std::string_view PWR = "PWR";
inline constexpr std::string_view RST = "RST";
inline constexpr std::string_view VER = "VER";
inline constexpr std::string_view VR2 = "VR2";
// Front panel and presets.
inline constexpr std::string_view LCK = "LCK";
inline constexpr std::string_view SAV = "SAV";
inline constexpr std::string_view CAL = "CAL";
inline constexpr std::string_view MNX = "MNX";  // Menu
inline constexpr std::string_view MNE = "MNE";  // Exit
inline constexpr std::string_view MNO = "MNO";  // OK
inline constexpr std::string_view MNU = "MNU";  // Up
inline constexpr std::string_view MND = "MND";  // Down
inline constexpr std::string_view MNL = "MNL";  // Left
inline constexpr std::string_view MNR = "MNR";  // Right
// Tool windows and network.
inline constexpr std::string_view HPI = "HPI";
inline constexpr std::string_view HPO = "HPO";
inline constexpr std::string_view LAB = "LAB";
inline constexpr std::string_view LAI = "LAI";
inline constexpr std::string_view PPO = "PPO";
inline constexpr std::string_view PSZ = "PSZ";
inline constexpr std::string_view PSW = "PSW";
inline constexpr std::string_view EIP = "EIP";
inline constexpr std::string_view EMK = "EMK";
inline constexpr std::string_view EGW = "EGW";
// Sent by the device only.
inline constexpr std::string_view EXT = "EXT";
inline constexpr std::string_view ERR = "ERR";
}  // namespace code

namespace cmd {
// Fixed commands.
inline constexpr std::string_view PWR_STANDBY = "PWR000";
inline constexpr std::string_view PWR_ON = "PWR001";
inline constexpr std::string_view RST_FACTORY = "RST001";
inline constexpr std::string_view RST_PICTURE = "RST002";
inline constexpr std::string_view AUD_OFF = "AUD000";
inline constexpr std::string_view AUD_ON = "AUD001";
inline constexpr std::string_view LCK_UNLOCK = "LCK000";
inline constexpr std::string_view LCK_LOCK = "LCK001";
inline constexpr std::string_view MENU_MENU = "MNX001";
inline constexpr std::string_view MENU_EXIT = "MNE001";
inline constexpr std::string_view MENU_OK = "MNO001";
inline constexpr std::string_view MENU_UP = "MNU001";
inline constexpr std::string_view MENU_DOWN = "MND001";
inline constexpr std::string_view MENU_LEFT = "MNL001";
inline constexpr std::string_view MENU_RIGHT = "MNR001";
inline constexpr std::string_view PSW_A = "PSW001";
inline constexpr std::string_view PSW_B = "PSW002";

// code + num3(value): "MOD002", "BRI250", "SAV003".
std::string set(std::string_view code, int value);
// code + "999": the current setting.
std::string query(std::string_view code);
// code + "99" + channel digit (1..4): the setting of one channel, input or PiP.
std::string query_channel(std::string_view code, int channel);
// code + "998": the upper limit of a range (bezel corrections).
std::string query_limit(std::string_view code);
// code + "0" + channel digit + value digit: HDCP, label display and PiP settings
// ("HPI021", "LAB001" with channel 0, "PSZ023").
std::string pair(std::string_view code, int channel, int value);
// Picture parameter: the value itself in Matrix, 200 * (row - 1) + value in the
// other modes. Returns -1 for a mode that has no encoding.
int picture_param(int disp_mode, int row, int value);
// "LAI" + input digit + text + carriage return. Only printable ASCII of the
// text is sent: a control character (a pasted line break, say) would end the
// line early and let the rest reach the device as a command of its own.
std::string label_set(int input, std::string_view text);
// The text a label command carries after cleaning; exposed for the window that
// shows what was sent.
std::string label_clean(std::string_view text);
}  // namespace cmd

namespace reply {
// The first three characters (fewer if the line is shorter).
std::string_view code_of(std::string_view line);
// Whether `code` is one the device answers with ("ERR" and "EXT" included).
bool is_code(std::string_view code);
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
