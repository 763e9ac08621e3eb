// The console box and the message boxes as the link core sees them.
#pragma once

#include <QObject>
#include <QString>
#include <QTextCursor>
#include <QTimer>
#include <deque>
#include <string>

#include "link/core/link_io.h"

class QPlainTextEdit;
class QWidget;

namespace quadrel {

// Appends to the console text box without inserting line breaks. An append
// costs a few microseconds: the box keeps no undo history, and the text is
// laid out when the box paints it, not at every append.
class TextConsole : public QObject, public Console {
 public:
  explicit TextConsole(QPlainTextEdit* box);
  // Text goes into the box in batches: at the latest kFlushMs after it came,
  // before the box is painted, and whenever flush() is called. The box lies
  // below the window's heights; a refresh's 86 additions become one or two.
  void append(std::string_view text) override;
  void clear() override;
  void flush();

  static constexpr int kFlushMs = 40;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPlainTextEdit* box_;
  QTextCursor end_;
  QString pending_;
  QTimer flush_timer_;
};

// Modal message boxes with the program's title, one at a time: a message that
// comes while a box is open (from the box's own event loop) is shown when that
// box is closed, not on top of it.
class MessageBoxNotifier : public Notifier {
 public:
  explicit MessageBoxNotifier(QWidget* owner) : owner_(owner) {}
  void message(const std::string& text, MessageIcon icon) override;
  void message_titled(const std::string& title, const std::string& text, MessageIcon icon) override;

 private:
  struct Waiting {
    QString title;
    std::string text;
    MessageIcon icon;
  };
  void show(const Waiting& message);
  QWidget* owner_;
  std::deque<Waiting> waiting_;
  bool showing_ = false;
};

}  // namespace quadrel
