#include "cli/client_words.h"

#include "link/state_document.h"

namespace quadrel::cli {

namespace {

QString latin1(std::string_view text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

// The row's words after the command's own.
QStringList tokens(const Parameter& row) { return latin1(row.client).split(u' ', Qt::SkipEmptyParts).mid(1); }

bool is_channel(const QString& token) { return token == u"@" || token == u"#" || token == u"*"; }

// How many channels a word may name: a row's channels, or (the PiP swap) its values.
int channel_count(const Parameter& row) { return row.channels ? row.channels : row.hi; }

bool literal_matches(const QString& token, const QString& arg) {
  for (const QString& word : token.split(u'|'))
    if (word.compare(arg, Qt::CaseInsensitive) == 0) return true;
  return false;
}

// The channel a word names: a letter (A..D, or a, b), a number, or "all" for the whole picture.
std::optional<int> channel_of(const QString& token, const QString& arg, const Parameter& row) {
  if (token == u"*" && arg.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0) return 0;
  std::optional<int> n;
  if (token == u"#") {
    bool ok = false;
    const int number = arg.toInt(&ok);
    if (ok && QString::number(number) == arg) n = number;
  } else {
    n = output_of(arg);
  }
  if (!n || *n < 1 || *n > channel_count(row)) return std::nullopt;
  return n;
}

std::optional<QJsonValue> value_of(const Parameter& row, const QString& arg) {
  const std::optional<int> v = row.value_of(arg.toStdString());
  if (!v) return std::nullopt;
  switch (row.value) {
    case Value::Word: return QJsonValue(names_of(row).word(*v));
    case Value::Flag: return QJsonValue(*v != 0);
    default: return QJsonValue(*v);
  }
}

// The words of the values, for help and completion: words, or the numbers
// (as a range when `ranged` and there are many).
QStringList value_words(const Parameter& row, bool ranged) {
  QStringList words;
  if (row.value == Value::Word || row.value == Value::Flag) {
    for (int v = row.hi; v >= row.lo; --v) words.prepend(latin1(row.word(v)));
    if (row.value == Value::Flag) std::reverse(words.begin(), words.end());  // "on|off"
    return words;
  }
  if (ranged && row.hi - row.lo > 3) return {QStringLiteral("%1..%2").arg(row.lo).arg(row.hi)};
  if (row.hi - row.lo > 16) return {};
  for (int v = row.lo; v <= row.hi; ++v) words << QString::number(v);
  return words;
}

QStringList channel_words(const QString& token, const Parameter& row) {
  QStringList words;
  if (token == u"*") words << QStringLiteral("all");
  for (int n = 1; n <= channel_count(row); ++n)
    words << (token == u"#" ? QString::number(n) : output_letter(n));
  return words;
}

}  // namespace

std::vector<const Parameter*> rows_of(const QString& command) {
  std::vector<const Parameter*> rows;
  for (const Parameter& p : parameters())
    if (latin1(p.client).section(u' ', 0, 0) == command) rows.push_back(&p);
  return rows;
}

std::optional<ClientMatch> match_words(const QString& command, const QStringList& args, QString* why) {
  QString bad_value;
  for (const Parameter* row : rows_of(command)) {
    const QStringList toks = tokens(*row);
    if (toks.size() != args.size()) continue;
    ClientMatch match{row, 1, {}, QJsonValue(QJsonValue::Undefined)};
    bool fits = true;
    for (qsizetype i = 0; i < toks.size() && fits; ++i) {
      const QString& token = toks[i];
      if (is_channel(token)) {
        const auto n = channel_of(token, args[i], *row);
        if (n) match.channel = *n;
        else fits = false;
      } else if (token == u"TEXT") {
        match.value = args[i];
      } else if (token == u"VALUE") {
        if (const auto v = value_of(*row, args[i])) {
          match.value = *v;
        } else {
          const QString what = i > 0 ? args[i - 1] : command;
          bad_value = QStringLiteral("not a value of %1: %2 (expected %3)")
                          .arg(what, args[i], value_words(*row, true).join(u'|'));
          fits = false;
        }
      } else if (!literal_matches(token, args[i])) {
        fits = false;
      }
    }
    if (!fits) continue;
    // Words without a value: the channel they name is it (the PiP to swap), or the only one.
    if (match.value.isUndefined()) match.value = toks.contains(QStringLiteral("@")) ? match.channel : row->lo;
    if (row->in_document) match.path = QString::fromStdString(row->path_of(match.channel, match.channel == 0 ? 1 : 2));
    return match;
  }
  *why = bad_value.isEmpty() ? QStringLiteral("expected %1").arg(usage_of(command)) : bad_value;
  return std::nullopt;
}

QString usage_of(const QString& command) {
  QStringList forms;
  for (const Parameter* row : rows_of(command)) {
    QStringList words;
    for (const QString& token : tokens(*row)) {
      if (is_channel(token)) words << channel_words(token, *row).join(u'|');
      else if (token == u"VALUE") words << value_words(*row, true).join(u'|');
      else words << token.section(u'|', 0, 0);
    }
    forms << words.join(u' ');
  }
  return forms.join(QStringLiteral(" | "));
}

}  // namespace quadrel::cli
