#include "link/state_document.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace quadrel {

namespace {

using Kind = Field::Kind;
using Resolutions = std::vector<std::string>;

Names make(int first, std::vector<std::vector<QString>> words, std::vector<QString> captions) {
  return Names{first, std::move(words), std::move(captions)};
}

QJsonValue json(const std::optional<int>& v) { return v ? QJsonValue(*v) : QJsonValue(); }
QJsonValue json(const std::optional<bool>& v) { return v ? QJsonValue(*v) : QJsonValue(); }
QJsonValue json(const std::optional<std::string>& v) {
  return v ? QJsonValue(QString::fromStdString(*v)) : QJsonValue();
}
QJsonValue json(const Names& names, const std::optional<int>& v) {
  if (!v || names.word(*v).isEmpty()) return QJsonValue();
  return names.word(*v);
}

QString or_unknown(const QString& text) { return text.isEmpty() ? QStringLiteral("?") : text; }
QString shown(const std::optional<int>& v) { return v ? QString::number(*v) : QStringLiteral("?"); }
QString shown(const std::optional<std::string>& v) {
  return v ? QString::fromStdString(*v) : QStringLiteral("?");
}
QString shown(const Names& names, const std::optional<int>& v) {
  return v ? or_unknown(names.caption(*v)) : QStringLiteral("?");
}
QString on_off(const std::optional<bool>& v, const char* on = "on", const char* off = "off") {
  return v ? QString::fromLatin1(*v ? on : off) : QStringLiteral("?");
}

bool printable_ascii(const QString& text) {
  return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u' ' && c <= u'~'; });
}

}  // namespace

std::optional<int> Names::value_of(const QString& word) const {
  const QString w = word.trimmed().toLower();
  for (std::size_t i = 0; i < words.size(); ++i) {
    const int value = first + static_cast<int>(i);
    if (w == QString::number(value)) return value;
    for (const QString& alias : words[i])
      if (w == alias) return value;
  }
  return std::nullopt;
}

std::optional<int> Names::value_of_word(const QString& word) const {
  for (std::size_t i = 0; i < words.size(); ++i)
    for (const QString& alias : words[i])
      if (word == alias) return first + static_cast<int>(i);
  return std::nullopt;
}

QString Names::word(int value) const {
  const int i = value - first;
  return i >= 0 && i < static_cast<int>(words.size()) ? words[i].front() : QString();
}

QString Names::caption(int value) const {
  const int i = value - first;
  return i >= 0 && i < static_cast<int>(captions.size()) ? captions[i] : QString();
}

QString Names::choices() const {
  QStringList list;
  for (const auto& w : words) list << w.front();
  return list.join(QLatin1Char('|'));
}

const Names& mode_names() {
  static const Names n = make(1, {{"matrix"}, {"dual-pop"}, {"tv-wall"}, {"dual-pip"}, {"quad"}},
                              {"Matrix", "Dual PoP", "TV Wall", "Dual PiP", "Quad"});
  return n;
}

const Names& power_names() {
  static const Names n = make(0, {{"standby", "off"}, {"on"}}, {"standby", "on"});
  return n;
}

const Names& aspect_names() {
  static const Names n = make(0, {{"full"}, {"4:3", "4:3 tv"}, {"16:9", "16:9 tv"}, {"16:10", "16:10 tv"},
                                  {"keep", "keep ratio", "keep-ratio"}},
                              {"FULL", "4:3 TV", "16:9 TV", "16:10 TV", "Keep Ratio"});
  return n;
}

const Names& edid_names() {
  static const Names n = make(0, {{"2ch"}, {"6ch"}, {"8ch"}, {"bitstream"}, {"hd"}},
                              {"2CH", "6CH", "8CH", "Bitstream", "HD"});
  return n;
}

const Names& corner_names() {
  static const Names n = make(0, {{"upper-left", "ul"}, {"upper-right", "ur"}, {"lower-right", "lr"},
                                  {"lower-left", "ll"}},
                              {"upper left", "upper right", "lower right", "lower left"});
  return n;
}

const Names& size_names() {
  static const Names n =
      make(0, {{"large"}, {"medium"}, {"small"}, {"off"}}, {"Large", "Medium", "Small", "Off"});
  return n;
}

const Names& hdcp_in_names() {
  static const Names n = make(0, {{"on"}, {"off"}}, {"on", "off"});
  return n;
}

const Names& hdcp_out_names() {
  static const Names n =
      make(0, {{"input", "follow-input"}, {"output", "follow-output"}}, {"follows input", "follows output"});
  return n;
}

const Names& picture_names() {
  static const Names n = make(0, {{"brightness", "bri"}, {"contrast", "con"}, {"hue"}, {"saturation", "sat"}},
                              {"brightness", "contrast", "hue", "saturation"});
  return n;
}

const Names& key_names() {
  static const Names n = make(0, {{"menu"}, {"exit"}, {"ok"}, {"up"}, {"down"}, {"left"}, {"right"}},
                              {"Menu", "Exit", "OK", "Up", "Down", "Left", "Right"});
  return n;
}

QString output_letter(int channel) {
  return channel >= 1 && channel <= 4 ? QString(QChar(u'A' + (channel - 1))) : QString();
}

std::optional<int> output_of(const QString& word) {
  const QString w = word.trimmed().toUpper();
  if (w.size() == 1 && w[0] >= u'A' && w[0] <= u'D') return w[0].unicode() - u'A' + 1;
  return std::nullopt;
}

std::optional<int>& picture_field(PictureValues& values, int which) {
  switch (which) {
    case 0: return values.brightness;
    case 1: return values.contrast;
    case 2: return values.hue;
    default: return values.saturation;
  }
}

const std::optional<int>& picture_field(const PictureValues& values, int which) {
  return picture_field(const_cast<PictureValues&>(values), which);
}

// --- the fields ----------------------------------------------------------------

QJsonValue Field::read(const QJsonValue& value, QString* why) const {
  switch (kind) {
    case Kind::Integer: {
      // Checked as a double first: a number out of an int's range is no value.
      const double d = value.toDouble(std::nan(""));
      if (value.isDouble() && std::isfinite(d) && d == std::floor(d) && d >= lo && d <= hi)
        return QJsonValue(static_cast<int>(d));
      *why = QStringLiteral("expected a whole number from %1 to %2").arg(lo).arg(hi);
      return QJsonValue(QJsonValue::Undefined);
    }
    case Kind::Word:
      if (value.isString())
        if (const auto v = names->value_of_word(value.toString())) return names->word(*v);
      *why = QStringLiteral("expected one of %1").arg(names->choices());
      return QJsonValue(QJsonValue::Undefined);
    case Kind::Flag:
      if (value.isBool()) return value;
      *why = QStringLiteral("expected true or false");
      return QJsonValue(QJsonValue::Undefined);
    case Kind::Label:
      if (value.isString() && value.toString().size() <= kLabelMax && printable_ascii(value.toString()))
        return value;
      *why = QStringLiteral("a label holds at most %1 printable ASCII characters").arg(kLabelMax);
      return QJsonValue(QJsonValue::Undefined);
    case Kind::Text:
      if (value.isString()) return value;
      *why = QStringLiteral("expected a string");
      return QJsonValue(QJsonValue::Undefined);
  }
  return QJsonValue(QJsonValue::Undefined);
}

QString Field::text(const QJsonValue& value) const {
  if (value.isNull() || value.isUndefined()) return QStringLiteral("?");
  if (value.isBool()) return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
  if (value.isDouble()) return QString::number(value.toInteger());
  if (kind == Kind::Label || kind == Kind::Text)
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
  return value.toString();
}

namespace {

// The table's entries, one helper per kind.
template <class Get>
Field integer(QString path, int lo, int hi, Get get, bool read_only = false) {
  return {std::move(path), Kind::Integer, lo, hi, nullptr, read_only,
          [get](const DeviceState& s, const Resolutions&) { return json(get(s)); }};
}
template <class Get>
Field word(QString path, const Names& names, Get get) {
  return {std::move(path), Kind::Word, 0, 0, &names, false,
          [get, &names](const DeviceState& s, const Resolutions&) { return json(names, get(s)); }};
}
template <class Get>
Field flag(QString path, Get get) {
  return {std::move(path), Kind::Flag, 0, 0, nullptr, false,
          [get](const DeviceState& s, const Resolutions&) { return json(get(s)); }};
}
template <class Get>
Field text(QString path, Kind kind, Get get) {
  return {std::move(path), kind, 0, 0, nullptr, kind == Kind::Text,
          [get](const DeviceState& s, const Resolutions&) { return json(get(s)); }};
}

std::vector<Field> make_fields() {
  std::vector<Field> f;
  const std::optional<int> none;
  f.push_back(text("firmware.version", Kind::Text, [](const DeviceState& s) { return s.version; }));
  f.push_back(text("firmware.version2", Kind::Text, [](const DeviceState& s) { return s.version2; }));
  f.push_back(word("power", power_names(), [](const DeviceState& s) {
    return s.power ? std::optional<int>(*s.power ? 1 : 0) : std::nullopt;
  }));
  f.push_back(word("mode", mode_names(), [](const DeviceState& s) { return s.mode; }));
  for (int ch = 1; ch <= 4; ++ch)
    f.push_back(integer("routing." + output_letter(ch), 1, 4, [ch](const DeviceState& s) { return s.inputs[ch - 1]; }));
  f.push_back(integer("resolution", 1, 99, [](const DeviceState& s) { return s.resolution; }));
  f.push_back({"resolution_name", Kind::Text, 0, 0, nullptr, true, [](const DeviceState& s, const Resolutions& names) {
                 const bool named = s.resolution && *s.resolution >= 1 && *s.resolution <= static_cast<int>(names.size());
                 return named ? QJsonValue(QString::fromStdString(names[*s.resolution - 1])) : QJsonValue();
               }});
  f.push_back(word("aspect", aspect_names(), [](const DeviceState& s) { return s.aspect; }));
  // The whole picture is the Matrix mode's; A..D are the other modes' pictures.
  for (int row = 0; row <= 4; ++row) {
    const QString who = row == 0 ? QStringLiteral("all") : output_letter(row);
    for (int which = 0; which < 4; ++which)
      f.push_back(integer("picture." + who + "." + picture_names().word(which), 0, kPictureMax,
                          [row, which, none](const DeviceState& s) {
                            const bool matrix = s.mode == mode_no::Matrix;
                            if (!s.mode || (row == 0) != matrix) return none;
                            return picture_field(s.picture[row == 0 ? 0 : row - 1], which);
                          }));
  }
  f.push_back(flag("bezel.on", [](const DeviceState& s) { return s.bezel_on; }));
  f.push_back(integer("bezel.h", 0, kBezelMax, [](const DeviceState& s) { return s.bezel_h; }));
  f.push_back(integer("bezel.v", 0, kBezelMax, [](const DeviceState& s) { return s.bezel_v; }));
  f.push_back(integer("bezel.h_limit", 0, kBezelMax, [](const DeviceState& s) { return s.bezel_h_limit; }, true));
  f.push_back(integer("bezel.v_limit", 0, kBezelMax, [](const DeviceState& s) { return s.bezel_v_limit; }, true));
  f.push_back(flag("audio.on", [](const DeviceState& s) { return s.audio_on; }));
  f.push_back(word("audio.edid", edid_names(), [](const DeviceState& s) { return s.audio_edid; }));
  f.push_back(integer("audio.dual_a", 1, 2, [](const DeviceState& s) { return s.audio_a; }));
  f.push_back(integer("audio.dual_b", 1, 2, [](const DeviceState& s) { return s.audio_b; }));
  f.push_back(integer("audio.quad", 1, 4, [](const DeviceState& s) { return s.audio_quad; }));
  f.push_back(flag("key_lock", [](const DeviceState& s) { return s.key_lock; }));
  for (int n = 1; n <= 4; ++n)
    f.push_back(word("hdcp.inputs." + QString::number(n), hdcp_in_names(),
                     [n](const DeviceState& s) { return s.hdcp_in[n - 1]; }));
  for (int n = 1; n <= 4; ++n)
    f.push_back(word("hdcp.outputs." + output_letter(n), hdcp_out_names(),
                     [n](const DeviceState& s) { return s.hdcp_out[n - 1]; }));
  f.push_back(flag("labels.shown", [](const DeviceState& s) { return s.labels_on; }));
  for (int n = 1; n <= 4; ++n)
    f.push_back(text("labels.text." + QString::number(n), Kind::Label,
                     [n](const DeviceState& s) { return s.labels[n - 1]; }));
  // Read in the Dual PiP mode only.
  for (int w = 0; w < 2; ++w) {
    const QString who = w == 0 ? QStringLiteral("A") : QStringLiteral("B");
    f.push_back(word("pip." + who + ".corner", corner_names(), [w, none](const DeviceState& s) {
      return s.mode == mode_no::DualPip ? s.pip_corner[w] : none;
    }));
    f.push_back(word("pip." + who + ".size", size_names(), [w, none](const DeviceState& s) {
      return s.mode == mode_no::DualPip ? s.pip_size[w] : none;
    }));
  }
  const std::pair<const char*, std::optional<std::string> DeviceState::*> addresses[] = {
      {"network.ip", &DeviceState::ip}, {"network.mask", &DeviceState::mask}, {"network.gateway", &DeviceState::gateway}};
  for (const auto& [path, member] : addresses)
    f.push_back({path, Kind::Text, 0, 0, nullptr, true, [member](const DeviceState& s, const Resolutions&) {
                   const auto& address = s.*member;
                   return address ? QJsonValue(plain_address(*address)) : QJsonValue();
                 }});
  return f;
}

// Sets `value` at the dotted `path` below `object`.
void put(QJsonObject& object, QStringView path, const QJsonValue& value) {
  const qsizetype dot = path.indexOf(u'.');
  if (dot < 0) {
    object.insert(path, value);
    return;
  }
  const QString key = path.left(dot).toString();
  QJsonObject inner = object.value(key).toObject();
  put(inner, path.mid(dot + 1), value);
  object.insert(key, inner);
}

// A key as a person may have meant it: "Key-Lock" for "key_lock".
QString loosely(const QString& key) { return key.toLower().replace(u'-', u'_').replace(u' ', u'_'); }

// Walks a document against the fields, collecting the wanted values and the problems.
class StrictReader {
 public:
  explicit StrictReader(std::vector<DocumentError>* errors) : errors_(errors) {
    for (const Field& field : document_fields())
      for (qsizetype dot = field.path.indexOf(u'.'); dot > 0; dot = field.path.indexOf(u'.', dot + 1))
        branches_.insert(field.path.left(dot));
  }

  void walk(const QJsonObject& object, const QString& prefix) {
    for (auto it = object.begin(); it != object.end(); ++it) {
      const QString path = prefix.isEmpty() ? it.key() : prefix + '.' + it.key();
      const QJsonValue value = it.value();
      if (path == QLatin1String("schema")) {
        if (value != QJsonValue(kDocumentSchema))
          fail(path, QStringLiteral("this program reads documents of schema %1").arg(kDocumentSchema));
      } else if (const Field* field = document_field(path)) {
        take(*field, value);
      } else if (branches_.contains(path)) {
        if (value.isObject())
          walk(value.toObject(), path);
        else if (!value.isNull())
          fail(path, QStringLiteral("expected an object"));
      } else {
        fail(path, unknown(prefix, it.key()));
      }
    }
  }

  WantedState wanted() {
    // In the document's order, whatever the order of the keys.
    const auto& fields = document_fields();
    std::sort(wanted_.values.begin(), wanted_.values.end(),
              [&fields](const auto& a, const auto& b) { return a.first - fields.data() < b.first - fields.data(); });
    return std::move(wanted_);
  }

  void fail(const QString& path, const QString& message) {
    ok_ = false;
    if (errors_) errors_->push_back({path, message});
  }
  bool ok() const { return ok_; }

 private:
  void take(const Field& field, const QJsonValue& value) {
    if (value.isNull()) return;  // not known, or not wanted
    QString why;
    const QJsonValue read = field.read(value, &why);
    if (read.isUndefined()) return fail(field.path, why);
    if (!field.read_only) wanted_.values.emplace_back(&field, read);
  }

  // "unknown key", naming a key of the same level that it resembles.
  QString unknown(const QString& prefix, const QString& key) const {
    const QString want = loosely(key);
    auto level_of = [&prefix](const QString& path) {
      return prefix.isEmpty() ? path.section(u'.', 0, 0) : path.mid(prefix.size() + 1).section(u'.', 0, 0);
    };
    for (const Field& field : document_fields()) {
      if (!prefix.isEmpty() && !field.path.startsWith(prefix + '.')) continue;
      const QString candidate = level_of(field.path);
      if (loosely(candidate) == want) return QStringLiteral("unknown key; did you mean \"%1\"?").arg(candidate);
    }
    if (prefix.isEmpty() && want == QLatin1String("schema")) return QStringLiteral("unknown key; did you mean \"schema\"?");
    return QStringLiteral("unknown key");
  }

  std::vector<DocumentError>* errors_;
  QSet<QString> branches_;
  WantedState wanted_;
  bool ok_ = true;
};

}  // namespace

const std::vector<Field>& document_fields() {
  static const std::vector<Field> fields = make_fields();
  return fields;
}

const Field* document_field(const QString& path) {
  for (const Field& field : document_fields())
    if (field.path == path) return &field;
  return nullptr;
}

QString plain_address(const std::string& address) {
  static const QRegularExpression dotted(QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
  const QString text = QString::fromLatin1(address.data(), static_cast<qsizetype>(address.size()));
  const auto match = dotted.match(text);
  if (!match.hasMatch()) return text;
  QStringList parts;
  for (int i = 1; i <= 4; ++i) parts << QString::number(match.captured(i).toInt());
  return parts.join(u'.');
}

QJsonObject to_json(const DeviceState& state, const std::vector<std::string>& resolutions) {
  QJsonObject o{{"schema", kDocumentSchema}};
  for (const Field& field : document_fields()) put(o, field.path, field.get(state, resolutions));
  return o;
}

QJsonObject partial_document(const DeviceState& state, const QStringList& paths,
                             const std::vector<std::string>& resolutions) {
  QJsonObject o{{"schema", kDocumentSchema}};
  for (const Field& field : document_fields())
    for (const QString& path : paths)
      if (field.path == path || field.path.startsWith(path + '.')) put(o, field.path, field.get(state, resolutions));
  return o;
}

QJsonValue WantedState::value(const QString& path) const {
  for (const auto& [field, value] : values)
    if (field->path == path) return value;
  return QJsonValue(QJsonValue::Undefined);
}

std::optional<QJsonObject> parse_document(const QByteArray& bytes, QString* error) {
  if (bytes.size() > kMaxDocumentBytes) {
    *error = QStringLiteral("too big: more than %1 bytes (1 MiB)").arg(kMaxDocumentBytes);
    return std::nullopt;
  }
  QJsonParseError parse;
  const QJsonDocument document = QJsonDocument::fromJson(bytes, &parse);
  if (parse.error != QJsonParseError::NoError) {
    *error = QStringLiteral("not JSON: %1 at byte %2").arg(parse.errorString()).arg(parse.offset);
    return std::nullopt;
  }
  if (!document.isObject()) {
    *error = QStringLiteral("not a JSON object");
    return std::nullopt;
  }
  return document.object();
}

std::optional<WantedState> read_wanted(const QJsonObject& document, std::vector<DocumentError>* errors) {
  StrictReader reader(errors);
  reader.walk(document, {});
  if (!reader.ok()) return std::nullopt;
  WantedState wanted = reader.wanted();
  if (wanted.empty()) {
    reader.fail({}, QStringLiteral("asks for nothing: every value that can be set is missing or null"));
    return std::nullopt;
  }
  return wanted;
}

QString to_text(const DeviceState& s, const std::vector<std::string>& resolutions) {
  QStringList lines;
  auto line = [&lines](const char* what, const QString& value) {
    lines << QStringLiteral("%1 %2").arg(QLatin1String(what), -12).arg(value);
  };
  line("Firmware", shown(s.version) + " / " + shown(s.version2));
  line("Power", on_off(s.power, "on", "standby"));
  line("Mode", shown(mode_names(), s.mode));

  QStringList routing;
  for (int ch = 1; ch <= 4; ++ch) routing << output_letter(ch) + " " + shown(s.inputs[ch - 1]);
  line("Routing", routing.join(", "));

  QString resolution = shown(s.resolution);
  if (s.resolution && *s.resolution >= 1 && *s.resolution <= static_cast<int>(resolutions.size()))
    resolution += " (" + QString::fromStdString(resolutions[*s.resolution - 1]) + ")";
  line("Resolution", resolution);
  line("Aspect", shown(aspect_names(), s.aspect));

  const int rows = s.mode == mode_no::Matrix ? 1 : 4;
  for (int ch = 1; ch <= rows; ++ch) {
    QStringList values;
    for (int f = 0; f < 4; ++f)
      values << picture_names().caption(f) + " " + shown(picture_field(s.picture[ch - 1], f));
    const QString row = rows == 1 ? QStringLiteral("all") : output_letter(ch);
    line(ch == 1 ? "Picture" : "", row + ": " + values.join(", "));
  }
  line("Bezel", on_off(s.bezel_on) + "; H " + shown(s.bezel_h) + " (limit " + shown(s.bezel_h_limit) + "), V " +
                    shown(s.bezel_v) + " (limit " + shown(s.bezel_v_limit) + ")");
  line("Audio", on_off(s.audio_on) + "; EDID " + shown(edid_names(), s.audio_edid) + "; dual A " +
                    shown(s.audio_a) + ", dual B " + shown(s.audio_b) + "; quad " + shown(s.audio_quad));
  line("Key lock", on_off(s.key_lock));

  QStringList in, out;
  for (int n = 1; n <= 4; ++n) {
    in << QString::number(n) + " " + shown(hdcp_in_names(), s.hdcp_in[n - 1]);
    out << output_letter(n) + " " + shown(hdcp_out_names(), s.hdcp_out[n - 1]);
  }
  line("HDCP inputs", in.join(", "));
  line("HDCP outputs", out.join(", "));

  QStringList labels;
  for (int n = 1; n <= 4; ++n)
    labels << QString::number(n) + " " + (s.labels[n - 1] ? "\"" + shown(s.labels[n - 1]) + "\"" : "?");
  line("Labels", on_off(s.labels_on, "shown", "hidden") + "; " + labels.join(", "));

  if (s.mode == mode_no::DualPip) {
    QStringList pip;
    for (int w = 0; w < 2; ++w)
      pip << QString(w == 0 ? "A " : "B ") + shown(corner_names(), s.pip_corner[w]) + ", " +
                 shown(size_names(), s.pip_size[w]);
    line("PiP", pip.join("; "));
  } else {
    line("PiP", "read in Dual PiP only");
  }
  auto address = [](const std::optional<std::string>& v) { return v ? plain_address(*v) : QStringLiteral("?"); };
  line("Network", "IP " + address(s.ip) + ", mask " + address(s.mask) + ", gateway " + address(s.gateway));
  return lines.join('\n') + '\n';
}

}  // namespace quadrel
