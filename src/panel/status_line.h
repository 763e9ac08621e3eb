// The line along the foot of the main window: what became of the last command
// when it did not go through, notices that need no answer, and the link.
#pragma once

#include <QString>

#include "ui/piece.h"

class QLabel;
class QWidget;

namespace quadrel {

class StatusLine : public Piece {
 public:
  explicit StatusLine(const PanelContext& context);

  // The line itself; the main window places it along its foot.
  QWidget* widget() const { return line_; }
  int height() const;

  // Shows a notice. It stays until another notice replaces it or, by default,
  // until a later command is answered; `through_next_answer` keeps it past
  // the answer of the command that follows at once (the one it is about).
  void notice(const QString& text, bool through_next_answer = false);
  QString notice_text() const;
  // Connected or not, and to what.
  QString link_text() const;

 private:
  void exchange_ended(const QString& command, ExchangeOutcome outcome);
  // The link part of the line and the checked state of the Connect buttons,
  // as the device's link is now.
  void show_link();

  QWidget* line_ = nullptr;
  QLabel* notice_ = nullptr;
  QLabel* link_label_ = nullptr;
  bool keep_through_answer_ = false;
};

}  // namespace quadrel
