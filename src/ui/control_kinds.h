// Controls with a behaviour of their own: buttons that show the current choice
// as a checked state, lists that show their chosen entry whole, and the rule
// that a list or slider takes the mouse wheel only while it has the focus.
#pragma once

#include <QComboBox>
#include <QPushButton>
#include <QScrollBar>

class QAbstractButton;

namespace quadrel {

// A push button that stands for one of several choices (a mode, a channel, a
// preset, a corner, a link). The panel checks the one the device reports;
// a click asks the device and never checks or unchecks the button by itself.
class StateButton : public QPushButton {
  Q_OBJECT
 public:
  explicit StateButton(const QString& caption, QWidget* parent = nullptr);

 protected:
  void nextCheckState() override {}
};

// Marks a button as the current choice or not: highlight blue and checked, or
// idle grey and unchecked. Assistive tools read the checked state.
void show_current(QAbstractButton* button, bool current);

// A drop-down list that shows its chosen entry in full: a narrow arrow, and
// text that does not fit otherwise is drawn a little condensed. The open list
// is as wide as its longest entry. A mouse wheel changes it only while it has
// the focus.
class ChoiceList : public QComboBox {
  Q_OBJECT
 public:
  explicit ChoiceList(QWidget* parent = nullptr);

  // The room the chosen entry's text has, in pixels, and the narrowest it may
  // be squeezed to (a fraction of its natural width).
  QRect text_room() const;
  static constexpr double kLeastSqueeze = 0.8;
  // A list whose entries must be read whole may be squeezed further.
  void set_least_squeeze(double factor) {
    least_squeeze_ = factor;
    update();
  }
  // The chosen entry as the box shows it: whole, or cut with an ellipsis when
  // even condensed it does not fit.
  QString shown_text() const { return fit(nullptr); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // The text to draw and how much to condense it (1 = not at all).
  QString fit(double* squeeze) const;
  double least_squeeze_ = kLeastSqueeze;
};

// A horizontal slider that shows when it has the keyboard's focus.
class Slider : public QScrollBar {
  Q_OBJECT
 public:
  explicit Slider(QWidget* parent = nullptr) : QScrollBar(Qt::Horizontal, parent) {}

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// Mouse-wheel turns over `w` change it only while it has the keyboard focus;
// over an unfocused list or slider they do nothing. The control takes the
// focus by click or Tab (not by the wheel).
void take_wheel_only_with_focus(QWidget* w);

}  // namespace quadrel
