// The device's network address as a user types it: host or address, optionally ":port".
#pragma once

#include <QString>

namespace quadrel {

// The device's port.
inline constexpr quint16 kDevicePort = 23;

// Reads "host", "host:port", "address", "[v6 address]:port" or a bare IPv6
// address (surrounding spaces are ignored). Without a port the device's port
// 23 is meant. False when the text names no endpoint.
bool parse_endpoint(const QString& text, QString* host, quint16* port);

}  // namespace quadrel
