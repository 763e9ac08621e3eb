#include "cli/completion.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <optional>

#include "cli/command.h"
#include "link/serial_link.h"
#include "link/serial_ports.h"

namespace quadrel::cli {

namespace {

// A range of at most this many values is offered value by value ("1..4",
// "A..D"); a longer one ("0..254") is typed.
constexpr int kListedRange = 9;

// One place of a command's usage: the words it offers, or what it takes.
struct Place {
  QStringList words;   // offered, and matched case-insensitively
  QString low, high;   // a range too long to offer: "0".."254"
  QString directive;   // ":files json"
  bool anything = false;  // a text (TEXT, COMMAND): any word
};

bool is_placeholder(const QString& piece) {
  static const QRegularExpression caps(QStringLiteral("^[A-Z]{2,}$"));
  return caps.match(piece).hasMatch();
}

// The words a placeholder stands for, as the command's notes define them
// ("CORNER: upper-left|upper-right|..."), or for the resolution names the
// panel's list holds.
void add_placeholder(Place& place, const QString& name, const Command& command, const LinkOptions& link) {
  if (name == QLatin1String("FILE")) {
    place.directive = QStringLiteral(":files json");
    return;
  }
  if (name == QLatin1String("NAME") && command.name() == QLatin1String("resolution")) {
    for (const std::string& resolution : resolution_names(link)) place.words << QString::fromStdString(resolution);
    return;
  }
  const QRegularExpression defined(QStringLiteral("\\b%1: ([^ .,()]+)").arg(name));
  for (const QString& note : command.notes())
    if (const auto match = defined.match(note); match.hasMatch()) {
      place.words << match.captured(1).split(QLatin1Char('|'));
      return;
    }
  place.anything = true;
}

void add_piece(Place& place, const QString& piece, const Command& command, const LinkOptions& link) {
  static const QRegularExpression range(QStringLiteral("^([0-9]+|[A-Z])\\.\\.([0-9]+|[A-Z])$"));
  if (const auto match = range.match(piece); match.hasMatch()) {
    const QString low = match.captured(1), high = match.captured(2);
    const bool letters = low.at(0).isLetter();
    const int from = letters ? low.at(0).unicode() : low.toInt();
    const int to = letters ? high.at(0).unicode() : high.toInt();
    if (to - from + 1 > kListedRange) {
      place.low = low;
      place.high = high;
      return;
    }
    for (int v = from; v <= to; ++v) place.words << (letters ? QString(QChar(v)) : QString::number(v));
    return;
  }
  if (is_placeholder(piece)) return add_placeholder(place, piece, command, link);
  place.words << piece;
}

// The command's usage as its alternatives, each a row of places:
// "a|b corner CORNER | a|b swap" is [[a|b, corner, CORNER], [a|b, swap]].
std::vector<std::vector<Place>> grammar(const Command& command, const LinkOptions& link) {
  std::vector<std::vector<Place>> alternatives;
  QString usage = command.arguments();
  usage.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
  for (const QString& alternative : usage.split(QStringLiteral(" | "), Qt::SkipEmptyParts)) {
    std::vector<Place> row;
    for (const QString& token : alternative.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
      if (token.startsWith(QLatin1Char('-')) && token.size() > 1) continue;  // an option, offered as one
      Place place;
      for (const QString& piece : token.split(QLatin1Char('|'), Qt::SkipEmptyParts))
        add_piece(place, piece, command, link);
      row.push_back(place);
    }
    alternatives.push_back(row);
  }
  return alternatives;
}

bool matches(const Place& place, const QString& word) {
  if (place.anything || !place.directive.isEmpty()) return true;
  if (place.words.contains(word, Qt::CaseInsensitive)) return true;
  if (place.low.isEmpty()) return false;
  bool ok = false;
  const int n = word.toInt(&ok);
  return ok && n >= place.low.toInt() && n <= place.high.toInt();
}

QStringList starting_with(const QStringList& words, const QString& typed) {
  QStringList result;
  for (const QString& word : words)
    if (word.section(QLatin1Char('\t'), 0, 0).startsWith(typed, Qt::CaseInsensitive)) result << word;
  return result;
}

// The arguments' words at the place after `given`, in every alternative that `given` fits.
QStringList argument_words(const Command& command, const QStringList& given, const LinkOptions& link) {
  QStringList result;
  for (const auto& row : grammar(command, link)) {
    if (static_cast<qsizetype>(row.size()) <= given.size()) continue;
    bool fits = true;
    for (qsizetype i = 0; fits && i < given.size(); ++i) fits = matches(row[static_cast<std::size_t>(i)], given[i]);
    if (!fits) continue;
    const Place& place = row[static_cast<std::size_t>(given.size())];
    for (const QString& word : place.words)
      if (!result.contains(word)) result << word;
    if (!place.directive.isEmpty() && !result.contains(place.directive)) result << place.directive;
  }
  return result;
}

QString option_word(const QCommandLineOption& option, const QString& name) {
  return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name + QLatin1Char('\t') +
         option.description();
}

QStringList option_words(const QList<QCommandLineOption>& options) {
  QStringList result;
  for (const QCommandLineOption& option : options)
    for (const QString& name : option.names())
      if (name.size() > 1) result << option_word(option, name);
  return result;
}

// The serial ports as the program opens them: COM1..COM9 where they have a
// device, the devices present, and along a path typed, the folders and the
// terminal devices the program would open (not the consoles, not its own).
QStringList serial_words(const QString& typed, const LinkOptions& link) {
  QStringList result;
  const SerialPortMap map = serial_port_map(link.ports_folder());
  for (std::size_t i = 0; i < map.size(); ++i)
    if (!map[i].isEmpty()) result << QStringLiteral("COM%1\t%2").arg(i + 1).arg(map[i]);
  const QStringList present = present_serial_devices();
  result << present;
  if (!typed.contains(QLatin1Char('/'))) return starting_with(result, typed);
  const QString folder = typed.left(typed.lastIndexOf(QLatin1Char('/')) + 1);
  for (const QFileInfo& entry :
       QDir(folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
    const QString path = folder + entry.fileName();
    if (entry.isDir()) {
      result << path + QLatin1Char('/');
      continue;
    }
    // The kernel makes ttyS0..ttyS31 whether or not a UART is behind them:
    // only those the program lists are offered.
    if (entry.absolutePath() == QLatin1String("/dev") && entry.fileName().startsWith(QLatin1String("ttyS")) &&
        !present.contains(entry.absoluteFilePath()))
      continue;
    if (!entry.exists() || !SerialLink::refusal(entry.absoluteFilePath()).isEmpty()) continue;
    if (!result.contains(path)) result << path;
  }
  return starting_with(result, typed);
}

}  // namespace

QStringList completions(const QStringList& words) {
  if (words.isEmpty()) return {};
  const QString typed = words.back();
  LinkOptions link;
  const Command* command = nullptr;
  bool help = false;  // "help COMMAND"
  QStringList given;  // the command's arguments before the word typed
  for (qsizetype i = 0; i + 1 < words.size(); ++i) {
    const QString& word = words[i];
    if (const auto option = LinkOptions::value_follows(word)) {
      if (i + 2 == words.size()) {
        // The word typed is this option's value.
        if (option == QLatin1String("serial")) return serial_words(typed, link);
        if (option == QLatin1String("panel-dir")) return {QStringLiteral(":dirs")};
        if (option == QLatin1String("tcp") || option == QLatin1String("hub")) return {QStringLiteral(":hosts")};
        if (option == QLatin1String("token-file")) return {QStringLiteral(":anyfile")};
        return {};
      }
      if (option == QLatin1String("panel-dir")) link.panel_dir = words[i + 1];
      ++i;
    } else if (word.startsWith(QLatin1Char('-')) && word.size() > 1) {
      if (word.startsWith(QStringLiteral("--panel-dir="))) link.panel_dir = word.section(QLatin1Char('='), 1);
    } else if (command) {
      given << word;
    } else if (!help && word == QLatin1String("help")) {
      help = true;
    } else if (help || !(command = find_command(word))) {
      return {};  // a second word after help, or not a command: nothing to offer
    }
  }

  if (typed.startsWith(QLatin1Char('-'))) {
    QStringList options = option_words(LinkOptions::options()) << QStringLiteral("--help\tShow this help.");
    if (command)
      options = option_words(command->options()) + options;
    else if (!help)
      options << QStringLiteral("--version\tShow the version.");
    // "-" may be an argument too (apply's standard input).
    if (command) options += argument_words(*command, given, link);
    return starting_with(options, typed);
  }
  if (!command) {
    QStringList names;
    for (const auto& each : commands()) names << each->name() + QLatin1Char('\t') + each->description();
    if (!help) names << QStringLiteral("help\tDescribe a command.");
    return starting_with(names, typed);
  }
  const QStringList offered = argument_words(*command, given, link);
  QStringList result = starting_with(offered, typed);
  for (const QString& word : offered)
    if (word.startsWith(QLatin1Char(':')) && !result.contains(word)) result << word;
  return result;
}

}  // namespace quadrel::cli
