// PATCH /api/v1/state: a partial state document with apply's meaning (strict,
// verified), its report, and the client's exit code as the HTTP status.
#pragma once

#include <QByteArray>
#include <QJsonObject>

#include <qcoro/qcorotask.h>

namespace quadrel::hub {

class SharedLink;

struct PatchOutcome {
  int exit_code = 0;   // the client's: 0, 1, 2, 3, 64
  QJsonObject report;  // the apply report: {"exit_code", "changes": [...], "errors": [...]}
};

// Reads the body strictly; a document that does not fit (not JSON, an unknown
// key, a value out of range) ends with 64 and sends nothing. Otherwise, inside
// one of the link's jobs, sends what differs from the model and reads back
// what it changed; each change the device confirmed reaches every client.
// `dry_run`: the changes are planned from the model and nothing is sent.
QCoro::Task<PatchOutcome> patch_state(SharedLink& link, QByteArray body, bool dry_run = false);

// The HTTP status of an exit code: 200, 409 refused or held otherwise, 504 no
// answer, 503 link down, 422 the document does not fit.
int http_status(int exit_code);

}  // namespace quadrel::hub
