// The hub's log: one line per event on standard error, as journald reads it.
#pragma once

#include <QString>

namespace quadrel::hub {

// Writes "quadrel-hub: <text>" and a line end at once; tests may silence it.
void log_event(const QString& text);
void set_log_quiet(bool quiet);

}  // namespace quadrel::hub
