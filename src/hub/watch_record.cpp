// Provisional: the client's own record encoder replaces this file once it is in the link library.
#include "hub/watch_record.h"

#include <QJsonArray>

#include "link/core/catalogue.h"
#include "link/state_document.h"

namespace quadrel::hub {

namespace {

QString iso(const QDateTime& time) { return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs); }

// The field a line's code sets, and its value as the state document words it.
std::pair<QJsonValue, QJsonValue> decode(const std::string& line) {
  const std::string_view code = reply::code_of(line);
  const int digit = reply::last_digit(line);
  auto word = [&](const Names& names) {
    const QString w = names.word(digit);
    return w.isEmpty() ? QJsonValue() : QJsonValue(w);
  };
  if (digit < 0) return {};
  if (code == code::MOD) return {"mode", word(mode_names())};
  if (code == code::OUT) return {"output", output_letter(digit).isEmpty() ? QJsonValue() : output_letter(digit)};
  if (code == code::INP) return {"input", digit >= 1 && digit <= 4 ? QJsonValue(digit) : QJsonValue()};
  if (code == code::PWR) return {"power", digit == 0 ? "standby" : "on"};
  if (code == code::LCK) return {"key_lock", digit != 0};
  if (code == code::AUD) return {"audio", digit != 0};
  if (code == code::ASP) return {"aspect", word(aspect_names())};
  if (code == code::RES) return {"resolution", reply::last_digits(line, 2)};
  if (code == code::SAV) return {"preset_saved", digit};
  if (code == code::CAL) return {"preset_recalled", digit};
  return {};
}

}  // namespace

QJsonObject line_record(const QByteArray& line, const QDateTime& time) {
  const auto [field, value] = decode(line.toStdString());
  return QJsonObject{{"time", iso(time)},
                     {"line", QString::fromLatin1(line)},
                     {"code", QString::fromLatin1(line.left(3))},
                     {"field", field},
                     {"value", value}};
}

QJsonObject link_record(bool up, const QString& reason, const QDateTime& time) {
  QJsonObject record{{"time", iso(time)}, {"link", up ? "up" : "down"}};
  if (!up) record["reason"] = reason;
  return record;
}

}  // namespace quadrel::hub
