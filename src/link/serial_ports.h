// Which serial device of this computer each of the ports COM1..COM9 means.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <map>
#include <string>
#include <string_view>

namespace quadrel {

// COM1..COM9, index 0 for COM1; an empty entry has no device.
using SerialPortMap = std::array<QString, 9>;

// The serial devices present, in the order the ports take them: adapters by
// their /dev/serial/by-id names (the same adapter keeps its name across
// reboots and plugging), then the other /dev/ttyUSB* and /dev/ttyACM*, then
// the built-in /dev/ttyS* that have a UART behind them. `root` stands in for
// "/" (tests give a folder laid out like one).
QStringList present_serial_devices(const QString& root = QString());

// Reads lines "COM3=/dev/ttyUSB1" (blank lines and "#" comments allowed; any
// other line, or a port outside 1..9, is ignored). Later lines win.
std::map<int, std::string> parse_com_ports(std::string_view text);

// COM1.. take the present devices in order; the lines of "com_ports.txt" in
// `folder` then replace or add entries.
SerialPortMap serial_port_map(const QString& folder, const QString& root = QString());
SerialPortMap serial_port_map(const QStringList& present, const std::map<int, std::string>& file_lines);

// What is wrong with "<folder>/com_ports.txt" when it is there but cannot be
// read ("com_ports.txt is a FIFO, not a file; ..."); empty when it is read or absent.
QString com_ports_problem(const QString& folder);

// The device of `com_port` (1..9) without com_ports.txt: the present one at
// that place, empty when there is none (or for a number outside 1..9).
QString default_serial_device(int com_port);

// The device for `com_port` (1..9) with "<folder>/com_ports.txt" applied.
// Empty when the port has no device or the number is outside 1..9.
QString serial_device(int com_port, const QString& folder);

// How a device reads in the port list, short enough for the closed list: its
// own name ("ttyUSB0", "pts/3", a stable adapter name "usb-FTDI_..."; a file
// elsewhere by its file name).
QString serial_device_label(const QString& device);

// Why a device that failed to open cannot be used, for the user: the reason
// given, and for a device the user may not open, how to be allowed (joining
// dialout where the device is in that group).
QString serial_open_advice(const QString& device, const QString& reason);
// The same for a device of the group `group` (empty: not known).
QString serial_open_advice(const QString& device, const QString& reason, const QString& group);

}  // namespace quadrel
