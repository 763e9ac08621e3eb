// The console box and the message boxes as the link core sees them.
#pragma once

#include <QObject>
#include <QString>
#include <QTextCursor>
#include <QTimer>

#include <optional>
#include <vector>

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

// Modal message boxes with the program's title (or a title of their own),
// shown from the event loop and never inside the handler that asked for one,
// nor while a mouse button is held: a box shown then takes the release from
// the window below it, and a slider's arrow, still pressed, would go on
// stepping (and asking for boxes) for as long as the program runs. One box at
// a time, in order; a message that is already waiting or showing is not shown
// twice.
class MessageBoxNotifier : public QObject, public Notifier {
 public:
  explicit MessageBoxNotifier(QWidget* owner) : owner_(owner) {}
  void message(const std::string& text, MessageIcon icon) override;
  void message_titled(const std::string& title, const std::string& text, MessageIcon icon) override;
  // Shows now what is waiting, held button or not, in boxes of their own
  // (the window closes: nothing is left unsaid).
  void flush() override;

 protected:
  // While a button is held: waits for its release.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Message {
    std::string title;
    std::string text;
    MessageIcon icon;
    bool operator==(const Message&) const = default;
  };
  // From the event loop: shows what waits, once no mouse button is held.
  void show_waiting();
  // One box at a time; the next when it closes.
  void show_next();
  void show(const Message& message);

  QWidget* owner_;
  std::vector<Message> waiting_;
  std::optional<Message> showing_;
  bool scheduled_ = false;
  bool awaiting_release_ = false;
};

}  // namespace quadrel
