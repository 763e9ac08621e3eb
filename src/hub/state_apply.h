// PATCH's meaning: a partial state document applied strictly and verified, with the client's exit codes.
#pragma once

#include <QJsonObject>
#include <QStringList>
#include <string>
#include <vector>

namespace quadrel::hub {

class SharedLink;

struct ApplyOutcome {
  int exit_code = 0;   // 0 done, 1 refused or held otherwise, 2 no answer, 3 link down, 64 bad document
  QJsonObject report;  // {"changes": [...], "errors": [...]}
};

// The keys of `document` that no state document has, as JSON paths ("bezel.width").
QStringList unknown_keys(const QJsonObject& document);

// Applies `document` through `link`, inside one of its jobs: what differs
// from the model is sent, then the model is compared with the document.
ApplyOutcome apply_state(SharedLink& link, const QJsonObject& document);

// The HTTP status of an exit code: 200, 409, 504, 503, 422.
int http_status(int exit_code);

}  // namespace quadrel::hub
