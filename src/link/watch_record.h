// What the device says on its own, as records: one per line however the lines arrive, decoded, and the link's events.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <vector>

#include "link/core/device_state.h"

namespace quadrel {

// Cuts the bytes the device sends into lines, at each carriage return or line
// feed, whatever reads they arrive in; empty lines are skipped. Every byte is
// kept, noise included. A line that grows past kMaxLine bytes without an end
// is let out at that length.
class WatchFramer {
 public:
  static constexpr qsizetype kMaxLine = 256;

  std::vector<QByteArray> push(const QByteArray& bytes);
  // The bytes of a line not yet ended (the link closed under it), taken once.
  QByteArray take_rest();

 private:
  QByteArray partial_;
};

// Makes the records. Lines are decoded as the device's replies in the light of
// the lines before them, as the link reads them: the mode decides how a picture
// value is encoded, the selected output which routing an input report belongs to.
class WatchDecoder {
 public:
  // `start`: what is known of the device when the watch begins.
  explicit WatchDecoder(const DeviceModel& start = {}) : model_(start) {}
  // The watch starts again on what is known now (after the link came back).
  void restart(const DeviceModel& start) { model_ = start; }

  // {"time", "line", "code", "field", "value"}: the line as it came (bytes
  // beyond ASCII as the characters U+0080..U+00FF), the reply code (null for
  // none), and the document's field the line reports with its value in the
  // document's spelling ("field": "mode", "value": "quad"); null for a line
  // that reports none ("ERR", a menu key, noise). Fields that are no
  // document's: "output" (the selected output), "picture.reset",
  // "factory_reset", "preset.saved", "preset.recalled", "pip.A.swap".
  QJsonObject line_record(const QByteArray& line, const QDateTime& time);

  // The record of a line the model has read already, by what it changed.
  static QJsonObject change_record(const QByteArray& line, const Change& change, const DeviceModel& model,
                                   const QDateTime& time);

  // {"time", "event": "lost", "reason"} and {"time", "event": "back", "link"}.
  static QJsonObject lost_record(const QString& reason, const QDateTime& time);
  static QJsonObject back_record(const QString& link, const QDateTime& time);

 private:
  DeviceModel model_;
};

// A record as one line of JSON text: compact, ASCII only (every other
// character escaped as \uXXXX), ended by a line feed.
QByteArray watch_json_line(const QJsonObject& record);
// A record as one line of readable text: "TIME MOD005  mode quad", "TIME link lost: REASON".
QByteArray watch_text_line(const QJsonObject& record);

// The local time with its offset, to the millisecond: "2025-03-01T22:04:05.123+01:00".
QString watch_time(const QDateTime& time);

}  // namespace quadrel
