// The program's command line: --help, --version, and a link for this run only.
#pragma once

#include <QString>
#include <QStringList>

namespace quadrel {

// The link the command line chose for this run; the stored settings keep theirs.
struct RunLink {
  enum class Kind { Stored, Serial, Tcp };
  Kind kind = Kind::Stored;
  QString target;  // the serial device, or "host" / "host:port"
};

struct CommandLine {
  enum class Action { Run, Print, Fail };
  Action action = Action::Run;
  QString text;  // Print: the help or version text; Fail: what was wrong
  RunLink link;
};

// Reads the arguments (the program's name first). Works before the
// application object exists, so --help and --version need no display.
CommandLine parse_command_line(const QStringList& arguments);

}  // namespace quadrel
