// Which serial device of this computer each of the ports COM1..COM9 means.
#pragma once

#include <QString>
#include <map>
#include <string>
#include <string_view>

namespace quadrel {

// COM1..COM4 are /dev/ttyS0..3, COM5..COM8 /dev/ttyUSB0..3 and COM9 /dev/ttyACM0,
// unless the file "com_ports.txt" in the program's folder says otherwise.
QString default_serial_device(int com_port);

// Reads lines "COM3=/dev/ttyUSB1" (blank lines and "#" comments allowed; any
// other line, or a port outside 1..9, is ignored). Later lines win.
std::map<int, std::string> parse_com_ports(std::string_view text);

// The device for `com_port` (1..9): from "<folder>/com_ports.txt" when it names
// the port, else the default. Empty for a number outside 1..9.
QString serial_device(int com_port, const QString& folder);

}  // namespace quadrel
