// quadrel-cli: drives and reads a Corvane from scripts, on the panel's link core.
#include <QCoreApplication>
#include <QRegularExpression>
#include <QTimer>

#include "cli/command.h"
#include "cli/commands_list.h"
#include "cli/completion.h"

using namespace quadrel;
using namespace quadrel::cli;

namespace quadrel::cli {

const std::vector<std::unique_ptr<Command>>& commands() {
  static const auto list = [] {
    std::vector<std::unique_ptr<Command>> l;
    add_readers(l);
    add_setters(l);
    add_apply(l);
    return l;
  }();
  return list;
}

const Command* find_command(const QString& name) {
  for (const auto& command : commands())
    if (command->name() == name) return command.get();
  return nullptr;
}

}  // namespace quadrel::cli

namespace {

QString usage() {
  QString text = QStringLiteral(
      "Usage: quadrel-cli [--serial DEVICE | --tcp HOST[:PORT] | --hub URL] COMMAND [ARGS]\n"
      "Drives and reads a Corvane video processor over its serial port or TCP port 23, or through a\n"
      "quadrel-hub's API (--hub). Without --serial, --tcp or --hub the link is the one the panel was\n"
      "last left on (its corvane.ini).\n\n"
      "Commands:\n");
  for (const auto& command : commands())
    text += QStringLiteral("  %1  %2\n").arg(command->name(), -10).arg(wrap(command->description(), 14));
  text += QStringLiteral(
      "\n'quadrel-cli COMMAND --help' describes a command.\n\n"
      "Exit codes: 0 done (and read back), 1 refused by the device or not held as asked,\n"
      "2 no answer within the limit, 3 link error (cannot open, lost, refused), 64 usage\n"
      "or a document that does not fit, 74 standard output not written.\n\n"
      "Options:\n");
  text += option_lines(LinkOptions::options());
  text += QStringLiteral("  %1  %2\n").arg("-h, --help", -24).arg("Show this help.");
  text += QStringLiteral("  %1  %2\n").arg("--version", -24).arg("Show the version.");
  return text;
}

// The options before the command are the link's: another (the command's
// own, given too early) is named with the command line that works.
int misplaced_option(const QCommandLineParser& parser) {
  QStringList words = QCoreApplication::arguments().mid(1);
  const Command* command = nullptr;
  qsizetype at = 0;
  for (; at < words.size() && !command; ++at) {
    if (LinkOptions::value_follows(words[at])) ++at;
    else if (!words[at].startsWith(QLatin1Char('-'))) command = find_command(words[at]);
  }
  const QString unknown = parser.unknownOptionNames().value(0);
  QStringList moved;
  for (qsizetype i = 0; command && !unknown.isEmpty() && i < at - 1; ++i)
    if (QString(words[i]).remove(QRegularExpression(QStringLiteral("^--?"))).section(QLatin1Char('='), 0, 0) ==
        unknown)
      moved << words.takeAt(i--), --at;
  bool owned = false;
  for (const QCommandLineOption& option : command ? command->options() : QList<QCommandLineOption>{})
    owned = owned || option.names().contains(unknown);
  if (!owned)
    return usage_error({}, parser_error(parser, LinkOptions::options() + QList{QCommandLineOption(QStringList{"h", "help"}),
                                                                               QCommandLineOption(QStringList{"version"})}));
  for (const QString& word : moved) words.insert(at, word);
  return usage_error(command->name(), QStringLiteral("%1 is an option of %2: give it after the command, as in "
                                                     "'quadrel-cli %3'")
                                          .arg(moved.join(QLatin1Char(' ')), command->name(), words.join(QLatin1Char(' '))));
}

// Runs the command line; `name` is the command's.
QCoro::Task<int> run(QCommandLineParser& parser, QString* name) {
  if (!parser.parse(QCoreApplication::arguments())) co_return misplaced_option(parser);
  if (parser.isSet("version")) {
    print_stdout(QStringLiteral("quadrel-cli %1\n"
                                "Copyright (C) 2026 The Quadrel developers\n"
                                "License GPL-3.0-or-later: GNU GPL version 3 or later "
                                "<https://www.gnu.org/licenses/gpl.html>.\n"
                                "This is free software: you are free to change and redistribute it.\n"
                                "There is NO WARRANTY, to the extent permitted by law.\n")
                     .arg(QUADREL_VERSION));
    co_return exit_code::Done;
  }
  QStringList rest = parser.positionalArguments();
  if (parser.isSet("help") || (!rest.isEmpty() && rest.first() == "help" && rest.size() == 1)) {
    print_stdout(usage());
    co_return exit_code::Done;
  }
  if (rest.isEmpty()) co_return usage_error({}, QStringLiteral("no command given"));
  // "help COMMAND" is "COMMAND --help".
  if (rest.first() == "help") rest = QStringList{rest[1], QStringLiteral("--help")};

  LinkOptions link;
  QString error;
  if (!link.take(parser, &error)) co_return usage_error({}, error);
  const Command* command = find_command(rest.first());
  if (!command) {
    QStringList names{QStringLiteral("help")};
    for (const auto& each : commands()) names << each->name();
    co_return usage_error({}, QStringLiteral("unknown command '%1'").arg(rest.first()) + did_you_mean(rest.first(), names));
  }
  *name = command->name();
  co_return co_await command->execute(rest.mid(1), link);
}

// Runs the command line, then ends the event loop.
QCoro::Task<> run_and_exit(QCommandLineParser& parser, QString* name, int* code) {
  *code = co_await run(parser, name);
  QCoreApplication::exit(*code);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("quadrel-cli"));
  QCoreApplication::setApplicationVersion(QStringLiteral(QUADREL_VERSION));
  // The shells' completions (share/cli) ask the program for its words:
  // "quadrel-cli --complete WORD... TYPED", not in the help.
  if (argc > 1 && qstrcmp(argv[1], "--complete") == 0) {
    for (const QString& line : completions(QCoreApplication::arguments().mid(2))) print_stdout(line + '\n');
    return output_error().isEmpty() ? exit_code::Done : exit_code::OutputError;
  }

  // Options before the command are the link's; the rest belongs to the command.
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
  parser.addOptions(LinkOptions::options());
  parser.addOption({QStringList{"h", "help"}, "Show this help."});
  parser.addOption({"version", "Show the version."});
  parser.addPositionalArgument("command", "The command to run.");
  QString name;
  // The command runs from the application's event loop, which it ends with its exit code.
  int code = exit_code::Done;
  QTimer::singleShot(0, &app, [&] { run_detached(run_and_exit(parser, &name, &code)); });
  QCoreApplication::exec();
  // The session of the command, closed now.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  // What was printed must have reached its file: a backup to a full disk is no backup.
  if (const QString why = output_error(); !why.isEmpty()) {
    print_stderr(QStringLiteral("quadrel-cli: %1cannot write the standard output: %2\n")
                     .arg(name.isEmpty() ? QString() : name + ": ", why));
    return code == exit_code::Done ? exit_code::OutputError : code;
  }
  return code;
}
