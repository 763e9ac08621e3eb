// SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C, a closed terminal) brought into
// the event loop (link/signal_watch.h), so that the window can save and quit
// in its own time, and the dialogs that are up then ended.
#pragma once

#include <QObject>

class QDialog;

namespace quadrel {

class QuitSignals : public QObject {
  Q_OBJECT
 public:
  // Catches the three signals from now on; one object at a time.
  explicit QuitSignals(QObject* parent = nullptr);
  // Gives the signals their default action back.
  ~QuitSignals() override;

  // The program is quitting: the dialogs open now end at once, and so does
  // every one that opens from now on (nobody may be there to answer it). A
  // message box's text goes to the standard error instead.
  void end_dialogs();

 signals:
  void received(int signal_number);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void end(QDialog* dialog);

  bool ending_dialogs_ = false;
};

}  // namespace quadrel
