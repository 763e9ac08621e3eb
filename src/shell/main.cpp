// Quadrel: the control panel of the Corvane video processor.
#include <QApplication>
#include <QIcon>
#include <cstdio>

#include "shell/command_line.h"
#include "shell/frm_main.h"
#include "shell/quit_signals.h"
#include "shell/startup.h"

namespace {

// Prints what the command line asked for, or what was wrong with it; returns the exit code.
int print(const quadrel::CommandLine& command_line) {
  const bool failed = command_line.action == quadrel::CommandLine::Action::Fail;
  std::fputs(command_line.text.toLocal8Bit().constData(), failed ? stderr : stdout);
  return failed ? 2 : 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication::setApplicationName(QStringLiteral("Quadrel"));
  QApplication::setApplicationVersion(QStringLiteral(QUADREL_VERSION));
  QApplication::setDesktopFileName(QStringLiteral(QUADREL_APP_ID));

  // --help, --version and a wrong option are told without opening the display.
  // The toolkit's own options (-platform, -style, ...) take one dash; with one
  // of those the arguments are read again once the toolkit has taken its own.
  QStringList raw;
  bool toolkit_options = false;
  for (int i = 0; i < argc; ++i) {
    raw << QString::fromLocal8Bit(argv[i]);
    toolkit_options |= i > 0 && argv[i][0] == '-' && argv[i][1] != '-' && argv[i][1] != 'h';
  }
  if (const auto early = quadrel::parse_command_line(raw);
      early.action == quadrel::CommandLine::Action::Print ||
      (early.action == quadrel::CommandLine::Action::Fail && !toolkit_options))
    return print(early);

  QApplication app(argc, argv);
  // The toolkit has taken its own options (-platform, ...) out of the arguments.
  const quadrel::CommandLine command_line = quadrel::parse_command_line(QApplication::arguments());
  if (command_line.action != quadrel::CommandLine::Action::Run) return print(command_line);

  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512})
    icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
  QApplication::setWindowIcon(icon);

  // Signals are caught before the window loads: its start-up may show a
  // message box (a settings file it cannot read, a port that does not open),
  // and a signal then must save and quit just as closing does.
  quadrel::QuitSignals quit_signals;
  quadrel::FrmMain* window = nullptr;
  int signal_while_loading = 0;
  QObject::connect(&quit_signals, &quadrel::QuitSignals::received, &app, [&](int signal_number) {
    // No box keeps the program running from now on.
    quit_signals.end_dialogs();
    if (!window) {
      // Still loading: it finishes without waiting for anyone, then the window closes.
      if (signal_while_loading == 0) signal_while_loading = signal_number;
      return;
    }
    // Once the boxes that are up have ended (their text said on the standard error).
    QMetaObject::invokeMethod(
        &app,
        [&window, signal_number] {
          window->startup().close_on_signal(signal_number);
          QCoreApplication::exit(0);
        },
        Qt::QueuedConnection);
  });

  quadrel::FrmMainOptions options;
  options.run_link = command_line.link;
  quadrel::FrmMain frm_main(options);
  if (signal_while_loading != 0) {
    frm_main.startup().close_on_signal(signal_while_loading);
    return 0;
  }
  window = &frm_main;
  return QApplication::exec();
}
