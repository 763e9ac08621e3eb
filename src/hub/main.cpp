// quadrel-hub: shares one Corvane among panels, scripts, control surfaces and a web panel.
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "hub/hub.h"
#include "hub/hub_log.h"
#include "link/signal_watch.h"

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

  quadrel::hub::Hub hub(*options);
  // SIGTERM (systemd's stop), SIGINT and SIGHUP end the hub at once: the
  // exchange under way ends, nothing more is sent, and the event loop ends.
  quadrel::SignalWatch stop;
  QObject::connect(&stop, &quadrel::SignalWatch::received, &app, [&hub](int signal_number) {
    quadrel::hub::log_event(QStringLiteral("stopping (%1)").arg(QString::fromLatin1(strsignal(signal_number))));
    hub.shut_down();
    QCoreApplication::exit(0);
  });
  std::signal(SIGPIPE, SIG_IGN);

  QString error;
  if (!hub.start(&error)) {
    quadrel::hub::log_event(error);
    return 1;
  }
  // --mqtt given, and the broker never reached at start (or it refused the hub): a failed start.
  if (auto* bridge = hub.mqtt())
    QObject::connect(bridge, &quadrel::hub::MqttBridge::unreachable, &app, [](const QString& reason) {
      quadrel::hub::log_event(reason);
      QCoreApplication::exit(1);
    });
  return app.exec();
}
