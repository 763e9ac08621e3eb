#include "link/watch_record.h"

#include <QJsonDocument>

#include "link/core/catalogue.h"
#include "link/core/parameters.h"
#include "link/state_document.h"

namespace quadrel {

namespace {

// The document's field a change names (or the record's own name for what the
// document has not), and its value as the document spells it, whatever the
// mode: the device reported it.
std::pair<QString, QJsonValue> field_of(const Change& change, const DeviceModel& model) {
  const DeviceState& s = model.state();
  const int i = change.index;
  switch (change.aspect) {
    case Aspect::PictureReset: return {"picture.reset", QJsonValue()};
    case Aspect::FactoryReset: return {"factory_reset", QJsonValue()};
    case Aspect::PipSwap: return {i ? "pip." + output_letter(i) + ".swap" : QStringLiteral("pip.swap"), QJsonValue()};
    default: break;
  }
  const Parameter* row = parameter_of(change.aspect, i);
  if (!row) return {};
  const bool limit = change.aspect == Aspect::BezelLimit;
  const int channel = row->aspect_index >= 0 ? 1 : std::max(i, 1);
  QString path = QString::fromStdString(limit ? row->limit_path_of() : row->path_of(channel, model.disp_mode()));
  std::optional<int> number = row->value_in(s, channel);
  if (limit) number = *row->limit(const_cast<DeviceState&>(s), 1);
  // In the TV Wall one input feeds every output.
  if (change.aspect == Aspect::Routing && i == 0) path = path.section(u'.', 0, 0);
  auto value = [&]() -> QJsonValue {
    if (const auto* text = row->text_in(s, channel)) {
      if (!*text) return QJsonValue();
      // An address as the document spells it, without the device's zero padding.
      return row->group == Read::Network ? plain_address(**text) : QString::fromStdString(**text);
    }
    if (!number) return QJsonValue();
    if (change.aspect == Aspect::Channel) return output_letter(*number);
    if (!limit && row->value == Value::Word) return names_of(*row).word(*number);
    if (!limit && row->value == Value::Flag) return *number != 0;
    return *number;
  };
  return {path, value()};
}

// Bytes as the characters of the same numbers (Latin-1): nothing is lost.
QString as_text(const QByteArray& bytes) { return QString::fromLatin1(bytes); }

}  // namespace

std::vector<QByteArray> WatchFramer::push(const QByteArray& bytes) {
  std::vector<QByteArray> lines;
  for (const char byte : bytes) {
    if (byte == '\r' || byte == '\n') {
      if (!partial_.isEmpty()) lines.push_back(std::exchange(partial_, {}));
      continue;
    }
    partial_ += byte;
    if (partial_.size() >= kMaxLine) lines.push_back(std::exchange(partial_, {}));
  }
  return lines;
}

QByteArray WatchFramer::take_rest() { return std::exchange(partial_, {}); }

namespace {

// The reply as the link reads it: noise bytes are passed over.
std::string reply_of(const QByteArray& line) {
  std::string reply;
  for (const char byte : line)
    if (byte >= ' ' && byte <= '~') reply += byte;
  return reply;
}

QJsonObject record_of(const QByteArray& line, const std::optional<Change>& change, const DeviceModel& model,
                      const QDateTime& time) {
  const std::string reply = reply_of(line);
  const std::string_view code = reply::code_of(reply);
  QJsonObject record{{"time", watch_time(time)},
                     {"line", as_text(line)},
                     {"code", is_reply_code(code) ? QJsonValue(QString::fromLatin1(code.data(), code.size())) : QJsonValue()},
                     {"field", QJsonValue()},
                     {"value", QJsonValue()}};
  if (change) {
    const auto [field, value] = field_of(*change, model);
    if (!field.isEmpty()) {
      record["field"] = field;
      record["value"] = value;
    }
  }
  return record;
}

}  // namespace

QJsonObject WatchDecoder::line_record(const QByteArray& line, const QDateTime& time) {
  const std::optional<Change> change = model_.apply(reply_of(line));
  return record_of(line, change, model_, time);
}

QJsonObject WatchDecoder::change_record(const QByteArray& line, const Change& change, const DeviceModel& model,
                                        const QDateTime& time) {
  return record_of(line, change, model, time);
}

QJsonObject WatchDecoder::lost_record(const QString& reason, const QDateTime& time) {
  return {{"time", watch_time(time)}, {"event", "lost"}, {"reason", reason}};
}

QJsonObject WatchDecoder::back_record(const QString& link, const QDateTime& time) {
  return {{"time", watch_time(time)}, {"event", "back"}, {"link", link}};
}

QByteArray watch_json_line(const QJsonObject& record) {
  const QString text = QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact));
  QByteArray out;
  out.reserve(text.size() + 16);
  for (const QChar c : text) {
    if (c.unicode() < 0x80)
      out += static_cast<char>(c.unicode());
    else
      out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toLatin1();
  }
  return out + '\n';
}

QByteArray watch_text_line(const QJsonObject& record) {
  QByteArray out = record.value("time").toString().toLatin1() + ' ';
  const QString event = record.value("event").toString();
  if (event == u"lost") return out + "link lost: " + record.value("reason").toString().toUtf8() + '\n';
  if (event == u"back") return out + "link back: " + record.value("link").toString().toUtf8() + '\n';
  // The line as it came; what is not printable ASCII as \xNN.
  for (const QChar c : record.value("line").toString()) {
    if (c >= u' ' && c <= u'~')
      out += static_cast<char>(c.unicode());
    else
      out += QStringLiteral("\\x%1").arg(c.unicode() & 0xff, 2, 16, QLatin1Char('0')).toLatin1();
  }
  const QString field = record.value("field").toString();
  if (!field.isEmpty()) {
    const QJsonValue value = record.value("value");
    QString shown = value.isString() ? value.toString()
                    : value.isBool() ? (value.toBool() ? QStringLiteral("true") : QStringLiteral("false"))
                    : value.isDouble() ? QString::number(value.toInteger())
                                       : QStringLiteral("-");
    out += "  " + field.toUtf8() + ' ' + shown.toUtf8();
  }
  return out + '\n';
}

QString watch_time(const QDateTime& time) {
  return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

}  // namespace quadrel
