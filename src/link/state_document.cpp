#include "link/state_document.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <map>

namespace quadrel {

namespace {

using Kind = Field::Kind;
using Resolutions = std::vector<std::string>;

QJsonValue json(const std::optional<int>& v) { return v ? QJsonValue(*v) : QJsonValue(); }
QJsonValue json(const Names& names, const std::optional<int>& v) {
  if (!v || names.word(*v).isEmpty()) return QJsonValue();
  return names.word(*v);
}

QString latin1(std::string_view text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

QString or_unknown(const QString& text) { return text.isEmpty() ? QStringLiteral("?") : text; }
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

const Names& names_of(const Parameter& row) {
  // Made once for each row, on first use.
  static std::map<const Parameter*, Names> made;
  auto it = made.find(&row);
  if (it != made.end()) return it->second;
  Names names;
  names.first = row.lo;
  for (int v = row.lo; v <= row.hi && static_cast<std::size_t>(v - row.lo) < row.choices.size(); ++v) {
    const Choice& choice = row.choices[static_cast<std::size_t>(v - row.lo)];
    std::vector<QString> words;
    for (const QString& word : latin1(choice.words).split(u'|')) words.push_back(word);
    names.words.push_back(std::move(words));
    names.captions.push_back(latin1(choice.caption));
  }
  return made.emplace(&row, std::move(names)).first->second;
}

QString part_title(const QString& part) {
  if (part == u"hdcp") return QStringLiteral("HDCP");
  if (part == u"pip") return QStringLiteral("PiP");
  QString title = part;
  title.replace(u'_', u' ');
  if (!title.isEmpty()) title[0] = title[0].toUpper();
  return title;
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

// Whether a row's channel has a value in `mode` (0: not known).
bool exists(const Parameter* row, int channel, int mode) {
  if (!row) return true;
  // The whole picture is the Matrix mode's; A..D are the other modes' pictures.
  if (row->form == Form::Picture) return mode >= 1 && (channel == 0) == (mode == mode_no::Matrix);
  return row->modes == modes::All || row->exists_in(mode);
}

}  // namespace

bool Field::exists_in(int mode) const { return exists(row, channel, mode); }

namespace {

Field::Kind kind_of(Value value) {
  switch (value) {
    case Value::Word: return Field::Kind::Word;
    case Value::Flag: return Field::Kind::Flag;
    case Value::Label: return Field::Kind::Label;
    case Value::Text: return Field::Kind::Text;
    default: return Field::Kind::Integer;
  }
}

// The field of one channel of a row (or of its limit).
Field field_of(const Parameter& row, int channel, bool limit) {
  Field f;
  f.row = &row;
  f.channel = channel;
  f.limit = limit;
  f.path = QString::fromStdString(limit ? row.limit_path_of() : row.path_of(channel, channel == 0 ? 1 : 2));
  f.kind = limit ? Field::Kind::Integer : kind_of(row.value);
  f.lo = limit ? 0 : row.lo;
  f.hi = row.hi;
  f.names = f.kind == Field::Kind::Word ? &names_of(row) : nullptr;
  f.read_only = limit || row.value == Value::Text;
  const Field::Kind kind = f.kind;
  const Names* names = f.names;
  const bool network = row.group == Read::Network;
  f.get = [&row, channel, limit, kind, names, network](const DeviceState& s, const Resolutions&) {
    if (!exists(&row, channel, s.mode.value_or(0))) return QJsonValue();
    const int at = channel == 0 ? 1 : channel;
    if (limit) {
      const std::optional<int>* slot = row.limit(const_cast<DeviceState&>(s), at);
      return slot && *slot ? QJsonValue(**slot) : QJsonValue();
    }
    switch (kind) {
      case Field::Kind::Label:
      case Field::Kind::Text: {
        const std::optional<std::string>* text = row.text_in(s, at);
        if (!text || !*text) return QJsonValue();
        return network ? QJsonValue(plain_address(**text)) : QJsonValue(QString::fromStdString(**text));
      }
      case Field::Kind::Flag: {
        const std::optional<int> v = row.value_in(s, at);
        return v ? QJsonValue(*v != 0) : QJsonValue();
      }
      case Field::Kind::Word: {
        const std::optional<int> v = row.value_in(s, at);
        return json(*names, v);
      }
      case Field::Kind::Integer:
        return json(row.value_in(s, at));
    }
    return QJsonValue();
  };
  return f;
}

// The path before a row's channel ("picture.", "pip.") and its channels'
// names: rows that share it are laid out channel by channel.
std::string_view stem(const Parameter& row) { return row.path.substr(0, row.path.find_first_of("@#*")); }

std::vector<Field> make_fields() {
  std::vector<Field> fields;
  const auto rows = parameters();
  for (std::size_t i = 0; i < rows.size();) {
    const Parameter& first = rows[i];
    if (!first.in_document) {
      ++i;
      continue;
    }
    // The rows of one block: those with channels and the same stem.
    std::size_t end = i + 1;
    const bool channelled = first.path.find_first_of("@#*") != std::string_view::npos;
    while (channelled && end < rows.size() && rows[end].in_document && stem(rows[end]) == stem(first)) ++end;
    const int from = first.form == Form::Picture ? 0 : 1;
    const int to = channelled ? first.channels : 1;
    for (int channel = from; channel <= to; ++channel)
      for (std::size_t r = i; r < end; ++r) fields.push_back(field_of(rows[r], channel, false));
    for (std::size_t r = i; r < end; ++r)
      if (!rows[r].limit_path.empty()) fields.push_back(field_of(rows[r], 1, true));
    if (first.aspect == Aspect::Resolution) {
      // The resolution's name from the list, beside its number.
      fields.push_back({"resolution_name", Field::Kind::Text, 0, 0, nullptr, true, nullptr, 1, false,
                        [](const DeviceState& s, const Resolutions& names) {
                          const bool named = s.resolution && *s.resolution >= 1 &&
                                             *s.resolution <= static_cast<int>(names.size());
                          return named ? QJsonValue(QString::fromStdString(names[*s.resolution - 1])) : QJsonValue();
                        }});
    }
    i = end;
  }
  return fields;
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
      if (path == QLatin1String(kLinkKey)) {
        // Where a hub's link stood when the document was made: read-only.
        if (!value.isObject() && !value.isNull())
          fail(path, QStringLiteral("expected an object (the link's state, which is read-only)"));
      } else if (path == QLatin1String("schema")) {
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

const Field* document_field(const Parameter& row, int channel, bool limit) {
  for (const Field& field : document_fields())
    if (field.row == &row && field.channel == channel && field.limit == limit) return &field;
  return nullptr;
}

QJsonObject parameters_description(const std::vector<std::string>& resolutions) {
  static const char* const kKinds[] = {"none", "integer", "word", "flag", "label", "text"};
  const Names& mode_words = names_of(row_of(Aspect::Mode));
  auto mode_list = [&mode_words](auto&& has) {
    QJsonArray modes;
    for (int m = mode_no::Matrix; m <= mode_no::Quad; ++m)
      if (has(m)) modes.append(mode_words.word(m));
    return modes;
  };
  auto strings = [](const auto& texts) {
    QJsonArray list;
    for (std::string_view text : texts) list.append(latin1(text));
    return list;
  };
  QJsonArray list;
  for (const Parameter& p : parameters()) {
    if (!p.in_document && !p.settable()) continue;
    QJsonObject entry{{"code", latin1(p.code)},
                      {"path", latin1(p.path)},
                      {"caption", latin1(p.caption)},
                      {"kind", kKinds[static_cast<int>(p.value)]},
                      {"settable", p.settable() && p.value != Value::Text},
                      {"in_document", p.in_document}};
    if (p.value == Value::Integer || p.value == Value::Word || p.value == Value::Flag ||
        (p.value == Value::None && p.settable())) {
      entry["min"] = p.lo;
      entry["max"] = p.hi;
    }
    if (p.value == Value::Label) {
      entry["max_length"] = static_cast<int>(kLongestLabel);
      entry["pattern"] = QStringLiteral("^[ -~]{0,%1}$").arg(kLongestLabel);
    }
    QJsonArray choices;
    for (int v = p.lo; v <= p.hi && !p.choices.empty(); ++v) {
      QJsonObject choice{{"value", v}, {"word", latin1(p.word(v))}, {"caption", latin1(p.caption_of(v))}};
      if (p.aspect == Aspect::Mode) {
        const ModeNames& names = mode_names(v);
        choice["outputs"] = strings(names.outputs);
        choice["picture_rows"] = strings(names.picture_rows);
        if (!names.sources[0].empty()) choice["sources"] = strings(names.sources);
      }
      choices.append(choice);
    }
    if (p.aspect == Aspect::Resolution) {
      for (std::size_t i = 0; i < resolutions.size() && static_cast<int>(i) < p.hi; ++i) {
        const int number = static_cast<int>(i) + 1;
        choices.append(QJsonObject{
            {"value", number},
            {"caption", QString::fromStdString(resolutions[i])},
            {"modes", mode_list([number](int m) { return m == mode_no::Matrix || !is_interlaced_1080(number); })}});
      }
    }
    if (!choices.isEmpty()) entry["choices"] = choices;
    if (p.channels > 0) {
      QJsonArray channels;
      for (int n = p.form == Form::Picture ? 0 : 1; n <= p.channels; ++n)
        channels.append(QString::fromStdString(p.path_of(n, n == 0 ? mode_no::Matrix : mode_no::Quad)));
      entry["paths"] = channels;
    }
    if (const std::string query = query_command(p); !query.empty()) entry["query"] = QString::fromStdString(query);
    if (p.value == Value::None && p.settable()) {
      // What happens rather than what is held: the line that makes it happen.
      QJsonArray commands;
      for (int v = p.lo; v <= p.hi; ++v)
        commands.append(QJsonObject{{"value", v}, {"line", QString::fromStdString(set_command(p, v))}});
      entry["commands"] = commands;
    }
    entry["modes"] = mode_list([&p](int m) { return p.exists_in(m); });
    list.append(entry);
  }
  return {{"schema", kDocumentSchema}, {"parameters", list}};
}

QJsonObject LinkStatus::to_json() const {
  static const char* const kStates[] = {"up", "connecting", "down"};
  return {{"state", kStates[static_cast<int>(state)]},
          {"since", since.toUTC().toString(Qt::ISODateWithMs)},
          {"reason", reason.isEmpty() ? QJsonValue() : QJsonValue(reason)},
          {"target", target}};
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

namespace {

// The fields at `paths` (or below them), each with its value from `get`.
QJsonObject partial_of(const QStringList& paths, const std::function<QJsonValue(const Field&)>& get) {
  QJsonObject o{{"schema", kDocumentSchema}};
  for (const Field& field : document_fields())
    for (const QString& path : paths)
      if (field.path == path || field.path.startsWith(path + '.')) put(o, field.path, get(field));
  return o;
}

}  // namespace

QJsonObject partial_document(const DeviceState& state, const QStringList& paths,
                             const std::vector<std::string>& resolutions) {
  return partial_of(paths, [&](const Field& field) { return field.get(state, resolutions); });
}

QJsonValue value_at(const QJsonObject& document, const QString& path) {
  QJsonValue value = document;
  for (const QString& key : path.split(u'.')) value = value.toObject().value(key);
  return value.isUndefined() ? QJsonValue() : value;
}

QJsonObject partial_document(const QJsonObject& document, const QStringList& paths) {
  return partial_of(paths, [&](const Field& field) { return value_at(document, field.path); });
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

namespace {

// The readable lines of a document whose values `get` gives, in `mode` (0: not known).
QString text_of(int mode, const std::function<QJsonValue(const Field&)>& get) {
  // One line for each part of the document, its values by their paths below it.
  QStringList lines;
  QString part;
  QStringList values;
  auto flush = [&] {
    if (part.isEmpty()) return;
    lines << QStringLiteral("%1 %2").arg(part_title(part), -12).arg(values.isEmpty() ? QStringLiteral("- (not in this mode)") : values.join(", "));
    values.clear();
  };
  const QJsonValue name = get(*document_field(QStringLiteral("resolution_name")));
  for (const Field& field : document_fields()) {
    const QString top = field.path.section(u'.', 0, 0);
    if (top == u"resolution_name") continue;
    if (top != part) {
      flush();
      part = top;
    }
    // What this mode has not, is not shown (unknown mode: all of it).
    if (mode != 0 && !field.exists_in(mode)) continue;
    const QJsonValue value = get(field);
    QString shown = field.text(value);
    if (field.kind == Field::Kind::Word && value.isString())
      shown = or_unknown(field.names->caption(*field.names->value_of_word(value.toString())));
    else if (field.kind == Field::Kind::Flag && value.isBool())
      shown = value.toBool() ? QStringLiteral("on") : QStringLiteral("off");
    else if (field.kind == Field::Kind::Text && value.isString())
      shown = value.toString();
    if (field.path == u"resolution" && !name.isNull()) shown += " (" + name.toString() + ")";
    const QString below = field.path.section(u'.', 1);
    values << (below.isEmpty() ? shown : below + ' ' + shown);
  }
  flush();
  return lines.join('\n') + '\n';
}

}  // namespace

QString to_text(const DeviceState& s, const std::vector<std::string>& resolutions) {
  return text_of(s.mode.value_or(0), [&](const Field& field) { return field.get(s, resolutions); });
}

QString to_text(const QJsonObject& document) {
  const QJsonValue mode = document.value(QLatin1String(row_of(Aspect::Mode).path));
  const std::optional<int> number = mode.isString() ? names_of(row_of(Aspect::Mode)).value_of_word(mode.toString()) : std::nullopt;
  return text_of(number.value_or(0), [&](const Field& field) { return value_at(document, field.path); });
}

}  // namespace quadrel
