// quadrel-hub: shares one Corvane among panels, scripts, control surfaces and a web panel.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "hub/hub.h"
#include "hub/hub_log.h"

namespace {

// SIGTERM (systemd's stop), SIGINT and SIGHUP end the event loop through this pipe.
int g_signal_pipe[2] = {-1, -1};

void on_signal(int signal_number) {
  const char byte = static_cast<char>(signal_number);
  [[maybe_unused]] const ssize_t n = ::write(g_signal_pipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("quadrel-hub"));
  QCoreApplication::setApplicationVersion(QStringLiteral(QUADREL_VERSION));

  QString message;
  bool exit_now = false;
  const auto options = quadrel::hub::HubOptions::parse(app.arguments().mid(1), &message, &exit_now);
  if (exit_now) {
    std::fputs(qPrintable(message + QLatin1Char('\n')), stdout);
    return 0;
  }
  if (!options) {
    std::fputs(qPrintable(QStringLiteral("quadrel-hub: %1\nTry 'quadrel-hub --help'.\n").arg(message)), stderr);
    return 64;
  }

  if (::pipe(g_signal_pipe) != 0) return 1;
  QSocketNotifier stop(g_signal_pipe[0], QSocketNotifier::Read);
  QObject::connect(&stop, &QSocketNotifier::activated, &app, [] {
    char byte = 0;
    [[maybe_unused]] const ssize_t n = ::read(g_signal_pipe[0], &byte, 1);
    quadrel::hub::log_event(QStringLiteral("stopping (%1)").arg(QString::fromLatin1(strsignal(byte))));
    QCoreApplication::exit(0);
  });
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaction(s, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  quadrel::hub::Hub hub(*options);
  QString error;
  if (!hub.start(&error)) {
    quadrel::hub::log_event(error);
    return 1;
  }
  return app.exec();
}
