// The records of the event stream: what `quadrel-cli watch --json` prints, one JSON object each.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

namespace quadrel::hub {

// A line the device reported: its time, the line, its code, and what it says
// ("field": "mode", "value": "quad"; both null for a line that names no setting).
QJsonObject line_record(const QByteArray& line, const QDateTime& time);
// The link opened (and the model was read) or closed, with the reason.
QJsonObject link_record(bool up, const QString& reason, const QDateTime& time);

}  // namespace quadrel::hub
