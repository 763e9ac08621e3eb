// Hubs running on this machine: each hub leaves a note of where it is while it
// runs, so that a direct link thrown off the device can name it.
#pragma once

#include <QString>
#include <optional>

namespace quadrel {

struct HubPresence {
  qint64 pid = 0;
  QString target;    // the device's link it holds: "tcp 10.0.0.5:23", "serial /dev/ttyUSB0"
  QString protocol;  // its protocol port: "127.0.0.1:2300"
  QString api;       // its HTTP API: "http://127.0.0.1:8300"
};

// Where a user's hubs leave their notes: $XDG_RUNTIME_DIR/quadrel (a folder
// only the user can read; Qt's fallback when the variable is not set). A
// system instance under systemd leaves its note in its runtime folder,
// /run/quadrel-hub/NAME/hub.json, for every user.
QString hub_presence_folder();

// This process's note, written when made and taken away when it goes.
class HubPresenceNote {
 public:
  explicit HubPresenceNote(const HubPresence& presence);
  ~HubPresenceNote();
  HubPresenceNote(const HubPresenceNote&) = delete;
  HubPresenceNote& operator=(const HubPresenceNote&) = delete;

 private:
  QString path_;
};

// A hub that runs on this machine (not this process), the one that holds
// `target` first; nothing when none does. Notes of hubs that have ended
// are passed over.
std::optional<HubPresence> running_hub(const QString& target);

}  // namespace quadrel
