#include "cli/command.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QJsonDocument>
#include <QMap>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "link/core/small_file.h"
#include "link/endpoint.h"
#include "link/serial_ports.h"
#include "settings/file_locations.h"
#include "settings/settings_file.h"

namespace quadrel::cli {

namespace {

// The first failure to write the standard output, as the system named it.
QString g_output_error;

void put(FILE* stream, const QString& text) {
  if (stream == stdout && !g_output_error.isEmpty()) return;
  const QByteArray bytes = text.toLocal8Bit();
  const bool written = std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream) ==
                           static_cast<std::size_t>(bytes.size()) &&
                       std::fflush(stream) == 0;
  if (!written && stream == stdout) g_output_error = QString::fromLocal8Bit(std::strerror(errno));
}

// Reads a small text file beside the panel, a regular file only (a FIFO in
// its place would never end); returns what kept it from being read, empty when read.
QString read_text(const QString& path, std::string* text) {
  SmallFile file = read_small_file(QFile::encodeName(path).toStdString(), 1 << 20);
  *text = std::move(file.text);
  return QString::fromLocal8Bit(file.problem());
}

// COM1..COM9 as the panel maps them, telling when com_ports.txt is there but
// cannot be read.
QString com_device(int com_port, const QString& folder) {
  if (const QString problem = com_ports_problem(folder); !problem.isEmpty()) put(stderr, "quadrel-cli: " + problem + "\n");
  return serial_device(com_port, folder);
}

}  // namespace

QString wrap(const QString& text, int indent, int width) {
  QString out;
  int column = indent;
  for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    if (column > indent && column + 1 + word.size() > width) {
      out += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
      column = indent;
    } else if (column > indent) {
      out += QLatin1Char(' ');
      ++column;
    }
    out += word;
    column += static_cast<int>(word.size());
  }
  return out;
}

QString option_lines(const QList<QCommandLineOption>& options) {
  QString text;
  for (const QCommandLineOption& option : options) {
    QStringList names;
    for (const QString& name : option.names()) names << (name.size() == 1 ? "-" : "--") + name;
    QString head = names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty()) head += QLatin1Char(' ') + option.valueName();
    text += QStringLiteral("  %1  %2\n").arg(head, -24).arg(wrap(option.description(), 28));
  }
  return text;
}

QList<QCommandLineOption> LinkOptions::options() {
  return {
      {"serial", "Use the serial port DEVICE: a path such as /dev/ttyUSB0, or COM1 to COM9 as the panel maps them.",
       "DEVICE"},
      {"tcp", "Connect to the device at HOST, port 23 unless PORT is given.", "HOST[:PORT]"},
      {"hub", "Go through the quadrel-hub at URL, [http://]HOST[:PORT] (port 8300 unless given), and its HTTP "
              "API: the device's state as the hub holds it, with its token.", "URL"},
      {"token-file", "Read the hub's token from FILE (default: $QUADREL_HUB_TOKEN, else "
                     "~/.config/quadrel/hub-token when it is there).", "FILE"},
      {"panel-dir", "Read corvane.ini, com_ports.txt and output_reso.txt from DIR (default: where the panel keeps them).",
       "DIR"},
      {"timeout", "End the run after SECONDS (up to 86400) whatever it waits for: exit 2 (watch ends with 0).",
       "SECONDS"},
      {QStringList{"v", "verbose"}, "Copy the traffic with the device to standard error."},
  };
}

std::optional<QString> LinkOptions::value_follows(const QString& word) {
  if (!word.startsWith(QStringLiteral("--")) || word.contains(QLatin1Char('='))) return std::nullopt;
  for (const QCommandLineOption& option : options())
    if (!option.valueName().isEmpty() && option.names().contains(word.mid(2))) return word.mid(2);
  return std::nullopt;
}

bool LinkOptions::take(const QCommandLineParser& parser, QString* error) {
  // The options with a value: where a text one goes (the time limit is a number).
  const struct {
    const char* name;
    const char* what;
    QString* field;
  } valued[] = {{"serial", "a DEVICE", &serial},
                {"tcp", "a HOST[:PORT]", &tcp},
                {"hub", "a [http://]HOST[:PORT]", &hub},
                {"token-file", "a FILE", &token_file},
                {"panel-dir", "a DIR", &panel_dir},
                {"timeout", "SECONDS", nullptr}};
  for (const auto& [name, what, field] : valued) {
    if (!parser.isSet(name)) continue;
    const QStringList values = parser.values(name);
    // Given twice, the second would win unseen: a script's mistake is named.
    if (values.size() > 1 || (field ? !field->isEmpty() : timeout_s > 0)) {
      *error = QStringLiteral("--%1 is given twice").arg(QLatin1String(name));
      return false;
    }
    // An empty value (an unset variable in a script) would fall back to the panel's link.
    const QString value = values.front();
    if (value.trimmed().isEmpty()) {
      *error = QStringLiteral("--%1 needs %2, not an empty word").arg(QLatin1String(name), QLatin1String(what));
      return false;
    }
    if (field) {
      *field = value;
      continue;
    }
    bool ok = false;
    const double seconds = value.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > kLongestTimeout) {
      *error = QStringLiteral("--timeout takes seconds, more than 0 and at most %1: %2").arg(kLongestTimeout).arg(value);
      return false;
    }
    timeout_s = seconds;
  }
  verbose = verbose || parser.isSet("verbose");
  if (!serial.isEmpty() + !tcp.isEmpty() + !hub.isEmpty() > 1) {
    *error = QStringLiteral("--serial, --tcp and --hub exclude each other");
    return false;
  }
  if (!token_file.isEmpty() && hub.isEmpty()) {
    *error = QStringLiteral("--token-file is the hub's: give --hub [http://]HOST[:PORT] too");
    return false;
  }
  return true;
}

namespace {
FileLocations panel_locations() { return FileLocations::for_program(QCoreApplication::applicationDirPath()); }
}  // namespace

QString LinkOptions::settings_file() const {
  if (!panel_dir.isEmpty()) return QDir(panel_dir).filePath(QStringLiteral("corvane.ini"));
  const QString source = panel_locations().settings_source();
  return source.isEmpty() ? QDir(panel_locations().settings_folder()).filePath(QStringLiteral("corvane.ini")) : source;
}

QString LinkOptions::ports_folder() const {
  return panel_dir.isEmpty() ? panel_locations().settings_folder() : panel_dir;
}

QString LinkOptions::data_folder() const {
  return panel_dir.isEmpty() ? panel_locations().data_folder() : panel_dir;
}

std::optional<LinkTarget> LinkOptions::target(QString* error) const {
  LinkTarget t;
  QString endpoint = tcp;
  if (!serial.isEmpty()) {
    // COM1..COM9 mean what they mean to the panel.
    static const QRegularExpression com(QStringLiteral("^COM([1-9]):?$"), QRegularExpression::CaseInsensitiveOption);
    const auto match = com.match(serial);
    t.device = match.hasMatch() ? com_device(match.captured(1).toInt(), ports_folder()) : serial;
    return t;
  }
  if (endpoint.isEmpty()) {
    // The link the panel was last left on.
    const QString path = settings_file();
    std::string text;
    if (const QString unread = read_text(path, &text); !unread.isEmpty()) {
      *error = QStringLiteral("no link given: use --serial DEVICE or --tcp HOST[:PORT] (%1 %2)")
                   .arg(QDir::toNativeSeparators(path), unread);
      return std::nullopt;
    }
    const Settings settings = parse_settings(text);
    if (settings.iface == 0) {
      t.device = com_device(settings.com_port, ports_folder());
      return t;
    }
    endpoint = QString::fromStdString(settings.address);
  }
  t.tcp = true;
  if (!parse_endpoint(endpoint, &t.host, &t.port)) {
    *error = QStringLiteral("not a host or host:port: \"%1\"").arg(endpoint);
    return std::nullopt;
  }
  return t;
}

Context::Context(const Command& command, const QCommandLineParser& parser, const LinkOptions& link,
                 LinkTarget target)
    : command_(command),
      parser_(parser),
      link_(link),
      target_(std::move(target)),
      args_(parser.positionalArguments()) {}

int usage_error(const QString& name, const QString& message) {
  if (name.isEmpty())
    put(stderr, QStringLiteral("quadrel-cli: %1 (see 'quadrel-cli --help')\n").arg(message));
  else
    put(stderr, QStringLiteral("quadrel-cli: %1: %2 (see 'quadrel-cli %1 --help')\n").arg(name, message));
  return exit_code::Usage;
}

namespace {

// Edits (a letter added, dropped, changed) from a to b.
qsizetype edit_distance(const QString& a, const QString& b) {
  std::vector<qsizetype> row(static_cast<std::size_t>(b.size()) + 1);
  for (qsizetype j = 0; j <= b.size(); ++j) row[static_cast<std::size_t>(j)] = j;
  for (qsizetype i = 1; i <= a.size(); ++i) {
    qsizetype diagonal = row[0];
    row[0] = i;
    for (qsizetype j = 1; j <= b.size(); ++j) {
      const qsizetype above = row[static_cast<std::size_t>(j)];
      row[static_cast<std::size_t>(j)] =
          std::min({above + 1, row[static_cast<std::size_t>(j - 1)] + 1, diagonal + (a[i - 1] != b[j - 1])});
      diagonal = above;
    }
  }
  return row.back();
}

QString dashed(const QString& name) { return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name; }

}  // namespace

QString did_you_mean(const QString& word, const QStringList& choices) {
  QString best;
  const qsizetype letters = QString(word).remove(QLatin1Char('-')).size();
  qsizetype fewest = letters < 3 ? 1 : letters < 5 ? 2 : 3;  // edits allowed, plus one
  for (const QString& choice : choices) {
    const qsizetype edits = letters >= 2 && choice.startsWith(word) ? 0 : edit_distance(word, choice);
    if (edits < fewest) fewest = edits, best = choice;
  }
  return best.isEmpty() ? QString() : QStringLiteral("; did you mean '%1'?").arg(best);
}

QString parser_error(const QCommandLineParser& parser, const QList<QCommandLineOption>& known) {
  if (!parser.unknownOptionNames().isEmpty()) {
    QStringList names;
    for (const QCommandLineOption& option : known)
      for (const QString& name : option.names()) names << dashed(name);
    const QString unknown = dashed(parser.unknownOptionNames().constFirst());
    return QStringLiteral("unknown option %1").arg(unknown) + did_you_mean(unknown, names);
  }
  // Qt's own sentences name the option in quotes.
  static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'\\.$"));
  static const QRegularExpression unexpected(QStringLiteral("^Unexpected value after '(.*)'\\.$"));
  const QString text = parser.errorText();
  if (const auto m = missing.match(text); m.hasMatch()) {
    for (const QCommandLineOption& option : known)
      if (option.names().contains(QString(m.captured(1)).remove(QLatin1Char('-'))))
        return QStringLiteral("%1 needs %2 after it").arg(m.captured(1), option.valueName());
    return QStringLiteral("%1 needs a value after it").arg(m.captured(1));
  }
  if (const auto m = unexpected.match(text); m.hasMatch())
    return QStringLiteral("%1 takes no value").arg(QString(m.captured(1)).section(QLatin1Char('='), 0, 0));
  return text;
}

void print_stdout(const QString& text) { put(stdout, text); }
void print_stderr(const QString& text) { put(stderr, text); }

QString output_error() {
  if (g_output_error.isEmpty() && std::fflush(stdout) != 0) g_output_error = QString::fromLocal8Bit(std::strerror(errno));
  return g_output_error;
}

int Context::usage(const QString& message) const { return usage_error(command_.name(), message); }

Context::~Context() {
  if (session_) session_.release()->deleteLater();
}

QCoro::Task<Session*> Context::open() {
  session_ = std::make_unique<Session>(command_.name(), target_, link_.verbose, link_.timeout_s);
  const bool opened = co_await session_->open();
  co_return opened ? session_.get() : nullptr;
}

std::vector<std::string> resolution_names(const LinkOptions& link) {
  std::string text;
  std::vector<std::string> names;
  if (read_text(QDir(link.data_folder()).filePath(QStringLiteral("output_reso.txt")), &text).isEmpty())
    names = parse_resolution_list(text);
  return names.empty() ? default_resolution_list() : names;
}

const std::vector<std::string>& Context::resolutions() const {
  if (resolutions_.empty()) resolutions_ = resolution_names(link_);
  return resolutions_;
}

void Context::print(const QString& text) const { put(stdout, text); }

void Context::print_json(const QJsonObject& object, bool indented) const {
  const QByteArray json = QJsonDocument(object).toJson(indented ? QJsonDocument::Indented : QJsonDocument::Compact);
  put(stdout, QString::fromUtf8(json) + (indented ? "" : "\n"));
}

Command::Command(QString name, QString description, QString arguments)
    : name_(std::move(name)), description_(std::move(description)), arguments_(std::move(arguments)) {}

QString Command::help() const {
  QString text = QStringLiteral("Usage: quadrel-cli [--serial DEVICE | --tcp HOST[:PORT] | --hub URL] %1%2%3\n%4\n")
                     .arg(name_, options_.isEmpty() ? "" : " [options]",
                          arguments_.isEmpty() ? "" : " " + arguments_, description_);
  if (!options_.isEmpty()) text += "\nOptions:\n" + option_lines(options_);
  for (const QString& note : notes_) text += "\n" + wrap(note, 0) + "\n";
  text += "\nLink options:\n" + option_lines(LinkOptions::options());
  return text;
}

void Command::setup(QCommandLineParser& parser) const {
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.addOptions(options_);
  parser.addOptions(LinkOptions::options());
  parser.addOption({QStringList{"h", "help"}, "Show this help."});
}

QCoro::Task<int> Command::execute(const QStringList& arguments, LinkOptions link) const {
  QCommandLineParser parser;
  setup(parser);
  QString error;
  auto fail = [&](const QString& message) { return usage_error(name_, message); };
  if (!parser.parse(QStringList{"quadrel-cli"} + arguments))
    co_return fail(parser_error(parser, options_ + LinkOptions::options() + QList{QCommandLineOption(QStringList{"h", "help"})}));
  if (parser.isSet("help")) {
    put(stdout, help());
    co_return exit_code::Done;
  }
  if (!link.take(parser, &error)) co_return fail(error);
  const qsizetype count = parser.positionalArguments().size();
  if (count < min_args_) co_return fail(QStringLiteral("missing arguments"));
  if (max_args_ >= 0 && count > max_args_) co_return fail(QStringLiteral("too many arguments"));
  if (link.on_hub()) {
    Context context(*this, parser, link, LinkTarget{});
    co_return co_await run_on_hub(*this, context);
  }
  const auto target = link.target(&error);
  if (!target) co_return fail(error);
  Context context(*this, parser, link, *target);
  co_return co_await execImpl(context);
}

int report_failures(const Session& session, const ApplyReport& report) {
  return report_failures([&session](const QString& line) { session.error(line); },
                         session.timed_out() ? session.timeout_reason() : QString(), report);
}

int report_failures(const std::function<void(const QString&)>& error, const QString& timeout_reason,
                    const ApplyReport& report) {
  const bool timed_out = !timeout_reason.isEmpty();
  for (const DocumentError& problem : report.errors) error(problem.text());
  QMap<QString, QStringList> not_sent;  // by why
  for (const AppliedChange& applied : report.changes) {
    switch (applied.result) {
      case ChangeResult::Planned:
      case ChangeResult::Held: break;
      // Done: said on the standard output.
      case ChangeResult::Restarting: print_stdout(applied.change.path + QStringLiteral(": ") + applied.message + '\n'); break;
      case ChangeResult::NotSent: not_sent[applied.message] << applied.change.path; break;
      case ChangeResult::NoAnswer:
      case ChangeResult::LinkLost:
        // Cut short by the run's limit, which ended every wait.
        if (timed_out) {
          error(applied.change.path + QStringLiteral(": ") + applied.command + QStringLiteral(": ") + timeout_reason);
          break;
        }
        [[fallthrough]];
      default: error(applied.change.path + QStringLiteral(": ") + applied.message);
    }
  }
  for (auto it = not_sent.begin(); it != not_sent.end(); ++it)
    error(it.value().join(QStringLiteral(", ")) + QStringLiteral(": ") + it.key());
  return timed_out && report.exit_code > exit_code::NoAnswer ? exit_code::NoAnswer : report.exit_code;
}

QCoro::Task<int> run_commands(Session& session, const std::vector<std::string>& commands) {
  for (const std::string& command : commands) {
    const ExchangeOutcome outcome = co_await session.exchange(command);
    if (outcome != ExchangeOutcome::Answered) co_return session.fail(command, outcome);
  }
  co_return exit_code::Done;
}

}  // namespace quadrel::cli
