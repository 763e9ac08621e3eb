// What to send to bring a device from its state to a saved one, in an order the device accepts.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "link/core/device_state.h"

namespace quadrel {

// One setting to change: its commands, sent in order, and what it changes.
struct PlannedChange {
  std::vector<std::string> commands;
  QString what;  // "mode", "routing B", "picture A brightness"
  QString from;  // "?" when not known
  QString to;

  QString describe() const { return what + ": " + from + " -> " + to; }
};

// The resolution and the mode. A 1080i resolution is served in Matrix only,
// so towards Matrix the mode comes first, away from it the resolution.
std::vector<PlannedChange> plan_mode(const DeviceState& now, const DeviceState& want);

// Every other setting `want` holds that differs from `now`: routing, aspect,
// picture, bezel, audio, HDCP, labels, PiP, key lock (last). Read-only values
// (firmware, bezel limits, network) and power are not set. Routing, picture
// and PiP are set only when the device is in the saved mode.
std::vector<PlannedChange> plan_settings(const DeviceState& now, const DeviceState& want);

}  // namespace quadrel
