// The exit codes a script branches on, and the words for an exchange that did not end with its answer.
#pragma once

#include <QString>

#include "link/device_link.h"

namespace quadrel {

namespace exit_code {
inline constexpr int Done = 0;
inline constexpr int Refused = 1;      // the device refused, or does not hold what was asked
inline constexpr int NoAnswer = 2;     // nothing within the limit
inline constexpr int LinkError = 3;    // cannot open, lost, refused
inline constexpr int Usage = 64;       // the command line or the document is wrong
inline constexpr int OutputError = 74; // what was printed could not be written
}  // namespace exit_code

// The exit code of an exchange's outcome (0 answered, 1 "ERR", 2 no answer, 3 link).
int exit_code_of(ExchangeOutcome outcome);

// Why an exchange did not end with its answer: "refused by the device (ERR)",
// "no answer within 1.2 s" (the time really waited), or why the link closed
// (`link_reason`, else "the link is closed").
QString outcome_reason(ExchangeOutcome outcome, double waited_s, const QString& link_reason);

}  // namespace quadrel
