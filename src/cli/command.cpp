#include "cli/command.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cstdio>

#include "link/core/small_file.h"
#include "link/endpoint.h"
#include "link/serial_ports.h"
#include "settings/file_locations.h"
#include "settings/settings_file.h"

namespace quadrel::cli {

namespace {

void put(FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
  std::fflush(stream);
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
      {"panel-dir", "Read corvane.ini, com_ports.txt and output_reso.txt from DIR (default: where the panel keeps them).",
       "DIR"},
      {QStringList{"v", "verbose"}, "Copy the traffic with the device to standard error."},
  };
}

bool LinkOptions::take(const QCommandLineParser& parser, QString* error) {
  for (auto [name, field] : {std::pair{"serial", &serial}, {"tcp", &tcp}, {"panel-dir", &panel_dir}}) {
    if (!parser.isSet(name)) continue;
    const QString value = parser.value(name);
    if (!field->isEmpty() && *field != value) {
      *error = QStringLiteral("--%1 is given twice").arg(QLatin1String(name));
      return false;
    }
    *field = value;
  }
  verbose = verbose || parser.isSet("verbose");
  if (!serial.isEmpty() && !tcp.isEmpty()) {
    *error = QStringLiteral("--serial and --tcp exclude each other");
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

int Context::usage(const QString& message) const {
  put(stderr, QStringLiteral("quadrel-cli: %1: %2\n\n%3").arg(command_.name(), message, command_.help()));
  return exit_code::Usage;
}

Session* Context::open() {
  session_ = std::make_unique<Session>(command_.name(), target_, link_.verbose);
  if (!session_->open()) return nullptr;
  return session_.get();
}

const std::vector<std::string>& Context::resolutions() const {
  if (resolutions_.empty()) {
    std::string text;
    if (read_text(QDir(link_.data_folder()).filePath(QStringLiteral("output_reso.txt")), &text).isEmpty())
      resolutions_ = parse_resolution_list(text);
    if (resolutions_.empty()) resolutions_ = default_resolution_list();
  }
  return resolutions_;
}

void Context::print(const QString& text) const { put(stdout, text); }

Command::Command(QString name, QString description, QString arguments)
    : name_(std::move(name)), description_(std::move(description)), arguments_(std::move(arguments)) {}

QString Command::help() const {
  QString text = QStringLiteral("Usage: quadrel-cli [--serial DEVICE | --tcp HOST[:PORT]] %1%2%3\n%4\n")
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

int Command::execute(const QStringList& arguments, LinkOptions link) const {
  QCommandLineParser parser;
  setup(parser);
  QString error;
  auto fail = [&](const QString& message) {
    put(stderr, QStringLiteral("quadrel-cli: %1: %2\n\n%3").arg(name_, message, help()));
    return exit_code::Usage;
  };
  if (!parser.parse(QStringList{"quadrel-cli"} + arguments)) return fail(parser.errorText());
  if (parser.isSet("help")) {
    put(stdout, help());
    return exit_code::Done;
  }
  if (!link.take(parser, &error)) return fail(error);
  const qsizetype count = parser.positionalArguments().size();
  if (count < min_args_) return fail(QStringLiteral("missing arguments"));
  if (max_args_ >= 0 && count > max_args_) return fail(QStringLiteral("too many arguments"));
  const auto target = link.target(&error);
  if (!target) return fail(error);
  Context context(*this, parser, link, *target);
  return execImpl(context);
}

int run_commands(Session& session, const std::vector<std::string>& commands) {
  for (const std::string& command : commands) {
    const ExchangeOutcome outcome = session.exchange(command);
    if (outcome != ExchangeOutcome::Answered) return session.fail(command, outcome);
  }
  return exit_code::Done;
}

}  // namespace quadrel::cli
