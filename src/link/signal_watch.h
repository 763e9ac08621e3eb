// SIGTERM, SIGINT and SIGHUP (systemd's stop, Ctrl+C, a closed terminal)
// brought into the event loop, so that a program ends in its own time.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace quadrel {

class SignalWatch : public QObject {
  Q_OBJECT
 public:
  // Catches the three signals from now on; one object at a time. Without a
  // socket pair they keep their default action (a warning says so).
  explicit SignalWatch(QObject* parent = nullptr);
  // Gives the signals their default action back.
  ~SignalWatch() override;

 signals:
  void received(int signal_number);

 private:
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace quadrel
