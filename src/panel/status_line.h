// The line along the foot of the main window: what became of the last command
// when it did not go through, notices that need no answer, and the link.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <string_view>

#include "shell/piece.h"

class QLabel;
class QWidget;

namespace quadrel {

class StatusLine : public Piece {
 public:
  explicit StatusLine(FrmMain& main);
  ~StatusLine() override;

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

  // Reads the link state again (shortly, once the change is complete): the
  // line's link part and the checked state of the Connect buttons.
  void link_changed();

  // "COM1 (/dev/ttyUSB0)" or "192.168.1.100:23": the link in use.
  QString link_name() const;

 private:
  void exchange_ended(std::string_view tx_str, ExchangeOutcome outcome);
  void show_link();

  QWidget* line_ = nullptr;
  QLabel* notice_ = nullptr;
  QLabel* link_label_ = nullptr;
  bool keep_through_answer_ = false;
  QTimer link_timer_;
  QObject ctx_;  // connections made for this piece end with it
};

}  // namespace quadrel
