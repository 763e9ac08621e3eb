#include "shell/quit_signals.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMessageBox>
#include <QMetaObject>
#include <cstdio>

#include "link/signal_watch.h"

namespace quadrel {

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
  auto* watch = new SignalWatch(this);
  connect(watch, &SignalWatch::received, this, &QuitSignals::received);
}

QuitSignals::~QuitSignals() = default;

void QuitSignals::end_dialogs() {
  if (ending_dialogs_) return;
  ending_dialogs_ = true;
  QCoreApplication::instance()->installEventFilter(this);
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(window);
    if (dialog && dialog->isVisible()) end(dialog);
  }
}

bool QuitSignals::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show) {
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (dialog && dialog->isWindow()) end(dialog);
  }
  return QObject::eventFilter(watched, event);
}

void QuitSignals::end(QDialog* dialog) {
  // Once its own event loop runs: ended before, the dialog would start it anew.
  QMetaObject::invokeMethod(
      dialog,
      [dialog] {
        if (!dialog->isVisible()) return;
        if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
          std::fprintf(stderr, "quadrel: %s\n", box->text().toLocal8Bit().constData());
          std::fflush(stderr);
        }
        dialog->reject();
      },
      Qt::QueuedConnection);
}

}  // namespace quadrel
