// The console box and the message boxes as the link core sees them.
#pragma once

#include <QString>
#include <QTextCursor>

#include "link/core/link_io.h"

class QPlainTextEdit;
class QWidget;

namespace quadrel {

// Appends to the console text box without inserting line breaks. An append
// costs a few microseconds: the box keeps no undo history, and the text is
// laid out when the box paints it, not at every append.
class TextConsole : public Console {
 public:
  explicit TextConsole(QPlainTextEdit* box);
  void append(std::string_view text) override;
  void clear() override;
 private:
  QPlainTextEdit* box_;
  QTextCursor end_;
};

// Modal message boxes with the program's title.
class MessageBoxNotifier : public Notifier {
 public:
  explicit MessageBoxNotifier(QWidget* owner) : owner_(owner) {}
  void message(const std::string& text, MessageIcon icon) override;
 private:
  QWidget* owner_;
};

}  // namespace quadrel
