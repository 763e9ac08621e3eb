// SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C, a closed terminal) brought into
// the event loop, so that the program can save and quit in its own time.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace quadrel {

class QuitSignals : public QObject {
  Q_OBJECT
 public:
  // Catches the three signals from now on; one object at a time.
  explicit QuitSignals(QObject* parent = nullptr);
  // Gives the signals their default action back.
  ~QuitSignals() override;

 signals:
  void received(int signal_number);

 private:
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace quadrel
