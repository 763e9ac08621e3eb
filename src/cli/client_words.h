// The client's words for the device's parameters, as the rows of the parameter
// table spell them: what a command's arguments set, its usage, and what may
// come next (for completion).
#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "link/core/parameters.h"

namespace quadrel::cli {

// Arguments read against a row's words ("audio dual-a 2").
struct ClientMatch {
  const Parameter* row = nullptr;
  int channel = 1;    // the output, input or PiP window the words named (0: the whole picture)
  QString path;       // the document's path of the value (empty for a row not in the document)
  QJsonValue value;   // as the document spells it; for a row not in the document, its number
};

// The rows whose words begin with `command` ("audio": on/off, edid, dual-a, dual-b, quad).
std::vector<const Parameter*> rows_of(const QString& command);

// The arguments (the command's word left out) read against the command's
// rows; nothing, with the reason in `why`, when none fits.
std::optional<ClientMatch> match_words(const QString& command, const QStringList& args, QString* why);

// "on|off | edid 2ch|6ch|... | dual-a 1..2 | ...": the command's arguments as its rows have them.
QString usage_of(const QString& command);

}  // namespace quadrel::cli
