#include "shell/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include "link/endpoint.h"

namespace quadrel {

CommandLine parse_command_line(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Control panel for the Corvane video processor.\n"
      "A link given here is used for this run only; the stored settings keep theirs."));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Print this help and exit."));
  const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Print the version and exit."));
  const QCommandLineOption serial(QStringLiteral("serial"),
                                  QStringLiteral("Start on the serial port DEVICE (for example /dev/ttyUSB0)."),
                                  QStringLiteral("DEVICE"));
  const QCommandLineOption tcp(QStringLiteral("tcp"),
                               QStringLiteral("Connect at once to the device at HOST, on PORT (default 23)."),
                               QStringLiteral("HOST[:PORT]"));
  parser.addOptions({help, version, serial, tcp});

  CommandLine result;
  auto fail = [&](const QString& what) {
    result.action = CommandLine::Action::Fail;
    result.text = what + QStringLiteral("\nTry '--help' for the options.\n");
    return result;
  };
  if (!parser.parse(arguments)) return fail(parser.errorText());
  if (parser.isSet(help)) {
    result.action = CommandLine::Action::Print;
    result.text = parser.helpText();
    // Before the application object exists, the parser cannot name the program.
    result.text.replace(QStringLiteral("<executable_name>"), QFileInfo(arguments.value(0)).fileName());
    return result;
  }
  if (parser.isSet(version)) {
    result.action = CommandLine::Action::Print;
    result.text = QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion() +
                  QStringLiteral("\nCopyright (C) 2026 The Quadrel developers\n"
                                 "License GPL-3.0-or-later: GNU GPL version 3 or later "
                                 "<https://www.gnu.org/licenses/gpl.html>.\n"
                                 "This is free software: you are free to change and redistribute it.\n"
                                 "There is NO WARRANTY, to the extent permitted by law.\n");
    return result;
  }
  if (!parser.positionalArguments().isEmpty())
    return fail(QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().constFirst()));
  if (parser.isSet(serial) && parser.isSet(tcp)) return fail(QStringLiteral("Give either --serial or --tcp, not both."));
  if (parser.isSet(serial)) {
    const QString device = parser.value(serial);
    if (device.isEmpty()) return fail(QStringLiteral("--serial needs a device, for example /dev/ttyUSB0."));
    result.link = {RunLink::Kind::Serial, device};
  } else if (parser.isSet(tcp)) {
    const QString target = parser.value(tcp).trimmed();
    QString host;
    quint16 port = 0;
    if (!parse_endpoint(target, &host, &port))
      return fail(QStringLiteral("--tcp needs HOST or HOST:PORT with a port from 1 to 65535, not \"%1\".")
                      .arg(parser.value(tcp)));
    result.link = {RunLink::Kind::Tcp, target};
  }
  return result;
}

}  // namespace quadrel
