#include "link/watch_record.h"

#include <QJsonDocument>

#include "link/core/catalogue.h"
#include "link/state_document.h"

namespace quadrel {

namespace {

// The document's field a change names, and its value as the document spells it.
std::pair<QString, QJsonValue> field_of(const Change& change, const DeviceModel& model) {
  const DeviceState& s = model.state();
  const int i = change.index;
  auto field = [&s](const QString& path) { return std::pair{path, document_field(path)->get(s, {})}; };
  auto number = [](const std::optional<int>& v) { return v ? QJsonValue(*v) : QJsonValue(); };
  switch (change.aspect) {
    case Aspect::Version: return field(i == 1 ? "firmware.version" : "firmware.version2");
    case Aspect::Power: return field("power");
    case Aspect::Mode: return field("mode");
    case Aspect::Channel: return {"output", s.channel ? QJsonValue(output_letter(*s.channel)) : QJsonValue()};
    case Aspect::Routing:
      // In the TV Wall one input feeds every output.
      return i == 0 ? std::pair{QStringLiteral("routing"), number(s.inputs[0])} : field("routing." + output_letter(i));
    case Aspect::Resolution: return field("resolution");
    case Aspect::AspectRatio: return field("aspect");
    case Aspect::Brightness:
    case Aspect::Contrast:
    case Aspect::Hue:
    case Aspect::Saturation: {
      const int which = static_cast<int>(change.aspect) - static_cast<int>(Aspect::Brightness);
      const QString row = model.disp_mode() == mode_no::Matrix ? QStringLiteral("all") : output_letter(i);
      return {"picture." + row + "." + picture_names().word(which), number(picture_field(s.picture[i - 1], which))};
    }
    case Aspect::PictureReset: return {"picture.reset", QJsonValue()};
    case Aspect::BezelOn: return field("bezel.on");
    case Aspect::Bezel: return field(i == 0 ? "bezel.h" : "bezel.v");
    case Aspect::BezelLimit: return field(i == 0 ? "bezel.h_limit" : "bezel.v_limit");
    case Aspect::AudioOn: return field("audio.on");
    case Aspect::AudioEdid: return field("audio.edid");
    case Aspect::DualAudio: return field(i == 1 ? "audio.dual_a" : "audio.dual_b");
    case Aspect::QuadAudio: return field("audio.quad");
    case Aspect::KeyLock: return field("key_lock");
    case Aspect::PresetSaved: return {"preset.saved", number(s.preset_saved)};
    case Aspect::PresetRecalled: return {"preset.recalled", number(s.preset_recalled)};
    case Aspect::FactoryReset: return {"factory_reset", QJsonValue()};
    case Aspect::HdcpInput: return field("hdcp.inputs." + QString::number(i));
    case Aspect::HdcpOutput: return field("hdcp.outputs." + output_letter(i));
    case Aspect::LabelsShown: return field("labels.shown");
    case Aspect::Label: return field("labels.text." + QString::number(i));
    case Aspect::PipCorner:
    case Aspect::PipSize: {
      // Decoded whatever the mode: the device reported it.
      const bool corner = change.aspect == Aspect::PipCorner;
      const auto& value = (corner ? s.pip_corner : s.pip_size)[i - 1];
      const Names& names = corner ? corner_names() : size_names();
      return {"pip." + output_letter(i) + (corner ? ".corner" : ".size"),
              value ? QJsonValue(names.word(*value)) : QJsonValue()};
    }
    case Aspect::PipSwap: return {i ? "pip." + output_letter(i) + ".swap" : QStringLiteral("pip.swap"), QJsonValue()};
    case Aspect::Network: break;
  }
  return {};
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

QJsonObject WatchDecoder::line_record(const QByteArray& line, const QDateTime& time) {
  // The reply as the link reads it: noise bytes are passed over.
  std::string reply;
  for (const char byte : line)
    if (byte >= ' ' && byte <= '~') reply += byte;
  const std::string_view code = reply::code_of(reply);
  QJsonObject record{{"time", watch_time(time)},
                     {"line", as_text(line)},
                     {"code", reply::is_code(code) ? QJsonValue(QString::fromLatin1(code.data(), code.size())) : QJsonValue()},
                     {"field", QJsonValue()},
                     {"value", QJsonValue()}};
  if (const auto change = model_.apply(reply)) {
    const auto [field, value] = field_of(*change, model_);
    if (!field.isEmpty()) {
      record["field"] = field;
      record["value"] = value;
    }
  }
  return record;
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
