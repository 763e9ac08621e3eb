// Bringing a device to a (partial) state document: the plan, sending it, reading back what it changed, the report.
#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include <qcoro/qcorotask.h>

#include "link/core/device_state.h"
#include "link/state_document.h"

namespace quadrel {

class Device;

// One setting to change: its commands, sent in order, and the queries that
// read it back afterwards.
struct PlannedChange {
  const Field* field = nullptr;  // the document's field it sets (for the TV Wall's routing: routing.A)
  QString path;                  // what it changes: the field's path, "routing" for the whole TV Wall
  QJsonValue from;               // what the device holds before; null when not known
  QJsonValue to;
  std::vector<std::string> commands;
  std::vector<std::string> queries;
  // Sent only once the device is in the mode the document asks for (routing,
  // picture, PiP): their commands mean something else in another mode.
  bool needs_mode = false;

  // "routing.B: 1 -> 3".
  QString describe() const;
  // The commands as text (a label's own carriage return left out).
  QStringList command_texts() const;
  // "OUT002 INP003  # routing.B: 1 -> 3": a line of `apply --dry-run`, and
  // of the report of a run for each change the device now holds.
  QString line() const;
};

// What brings a device from `now` to `wanted`, in an order the device accepts:
// power on first; the resolution and the mode (towards Matrix the mode first,
// away from it the resolution: 1080i is served in Matrix only); routing,
// aspect, picture, bezel, audio, HDCP, labels, PiP; the key lock; standby
// last. Only values that differ are planned; after a mode change the values
// of the new mode (routing, aspect, picture, PiP) are all planned, since the
// device's own are not known before it shows that mode.
//
// `errors` names each wanted value that the device cannot take in the mode it
// will be in (the whole picture outside Matrix, a channel's picture in
// Matrix, PiP outside Dual PiP, different inputs on a TV Wall); nothing is
// planned then.
struct ApplyPlan {
  std::vector<PlannedChange> changes;
  std::vector<DocumentError> errors;
};
ApplyPlan plan_apply(const DeviceState& now, const WantedState& wanted);

// The change that sets `field` to `to` whatever the device holds (a setter's);
// picture values are encoded for a device in `mode` (1..5).
PlannedChange plan_change(const Field& field, const QJsonValue& to, int mode);

// How one change ended.
enum class ChangeResult {
  Planned,   // a dry run: nothing was sent
  Held,      // sent, and read back: the device holds the value asked for
  NotHeld,   // sent and answered, but the device holds another value (`holds`)
  Refused,   // the device answered "ERR"; `holds` is what it holds
  NoAnswer,  // a command or its read-back went unanswered; the run stopped
  LinkLost,  // the link closed; the run stopped
  NotSent,   // the run stopped before it, or the mode it needs was not reached
  Restarting,  // power on, acknowledged: the device restarts; not read back (the run stops)
};
QString result_name(ChangeResult result);  // "held", "not held", ...

struct AppliedChange {
  PlannedChange change;
  ChangeResult result = ChangeResult::Planned;
  QJsonValue holds;  // what the device holds after a change that did not hold
  QString command;   // the command or query that was refused or went unanswered
  QString message;   // why it did not hold, for a message line; empty when it held
};

struct ApplyReport {
  bool dry_run = false;
  std::vector<AppliedChange> changes;
  // The document does not fit the device (exit 64); nothing was sent.
  std::vector<DocumentError> errors;
  // 0 every change held (or, dry, was planned); 1 one was refused or does not
  // hold; 2 no answer; 3 the link closed; 64 the document does not fit.
  int exit_code = 0;

  // {"dry_run", "exit_code", "changes": [{"path", "from", "to", "commands",
  // "result", "holds", "command", "message"}], "errors": [{"path", "message"}]}.
  QJsonObject to_json() const;
  // The report again from what to_json() gave (a hub's answer): each change
  // by its field, a value or a result that is none of the document's left as
  // not known.
  static ApplyReport from_json(const QJsonObject& json);
};

struct ApplyOptions {
  bool dry_run = false;
  // Called after each change, as it ends (to print it as it is made).
  std::function<void(const AppliedChange&)> on_change;
  // After "PWR001", which restarts the device (over TCP the connection
  // drops): returns once the device answers again (true), or gives up
  // (false). Without it a power-on the device acknowledged ends the run as
  // Restarting: done, but not read back.
  std::function<QCoro::Task<bool>()> await_restart;
};

// Plans the changes from the device's model, which must be current (the
// client reads the device first), and, unless it is a dry run, sends each
// change through the device's exchanges and reads back what it changed. A
// refused change or one that does not hold is reported and the others go on;
// an unanswered exchange or a closed link ends the run. The device's selected
// output is put back as it was when an exchange selected another. A document
// the device already matches sends nothing.
QCoro::Task<ApplyReport> apply_state(Device& device, WantedState wanted, ApplyOptions options = {});

// Sends changes already planned and reads each back, as apply_state() does
// once it has planned (a dry run only reports them).
QCoro::Task<ApplyReport> apply_changes(Device& device, std::vector<PlannedChange> changes, ApplyOptions options = {});

}  // namespace quadrel
