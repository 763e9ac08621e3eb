// Small widgets and helpers the windows are built from: clickable labels,
// filled shapes, twip placement, background colours and pictures.
#pragma once

#include <QColor>
#include <QLabel>
#include <QPalette>
#include <QString>
#include <QWidget>

class QKeyEvent;
class QPaintEvent;


class QAbstractButton;

namespace quadrel {

// The colours of the panel (red, green, blue).
namespace colour {
inline const QColor idle_grey{192, 192, 192};
inline const QColor highlight_blue{80, 192, 255};
inline const QColor routed_green{0, 208, 32};
inline const QColor busy_red{255, 0, 0};
inline const QColor olive{192, 192, 0};
inline const QColor black{0, 0, 0};
inline const QColor border_grey{160, 160, 160};
inline const QColor indicator_grey{160, 160, 160};
}  // namespace colour

// 1 twip = 1/15 pixel at 96 dpi; Qt scales logical pixels on dense screens.
constexpr int twips(int t) { return (t + 7) / 15; }
// Places a widget at a position given in twips, relative to its container.
void place(QWidget* w, int left, int top, int width, int height);

// Background colour of a button, label or box; disabled text on it stays
// legible. A change repaints the control and nothing more (no style sheet, no
// new style objects); setting the colour a control already has costs nothing.
void set_back_color(QWidget* w, const QColor& c);
// The colour last given to set_back_color() or keep_back_color() (invalid: none).
QColor back_color(const QWidget* w);
// Notes `c` as the widget's back colour, for a widget that paints it itself.
void keep_back_color(QWidget* w, const QColor& c);

// Contrast of two colours, 1 to 21 (the web accessibility guidelines' formula).
double contrast_ratio(const QColor& a, const QColor& b);
// A grey for disabled text on `background`: as close to it as reads at 3.5:1.
QColor legible_disabled_text(const QColor& background);
// Gives a palette's disabled text roles the legible grey for `background`.
void legible_when_disabled(QPalette& palette, const QColor& background);

// Texts and accessible names set by reply handlers: a control is touched only
// when the text changes (a change repaints it and tells assistive tools).
template <class Control>
void set_text(Control* w, const QString& text) {
  if (w && w->text() != text) w->setText(text);
}
void set_accessible_name(QWidget* w, const QString& name);
void set_accessible_description(QWidget* w, const QString& description);

// A label that takes clicks (map digits, the P and L indicators), and the
// keyboard's too: it takes the focus by Tab, shows it, and Space or Enter is
// a click. Assistive tools see it as a button.
class ClickLabel : public QLabel {
  Q_OBJECT
 public:
  explicit ClickLabel(const QString& text, QWidget* parent = nullptr);
 signals:
  void clicked();
 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

// The ring that shows which control has the keyboard's focus: a solid line
// inside the control's edge, legible on every colour the panel uses.
void paint_focus_ring(QWidget* w);

// Gives a button an access key (Alt and the key presses it): the key's first
// letter in the caption is underlined; the caption and the accessible name
// read as before.
void set_access_key(QAbstractButton* button, QChar key);

// A filled rectangle, rounded or plain, or a circle; takes no clicks.
class ShapeWidget : public QWidget {
  Q_OBJECT
 public:
  enum class Kind { Rectangle, RoundedRectangle, Circle };
  explicit ShapeWidget(Kind kind, QWidget* parent = nullptr);
  void set_fill(const QColor& c);
  void set_border(const QColor& c);
  QColor fill() const { return fill_; }
  QColor border() const { return border_; }
 protected:
  void paintEvent(QPaintEvent* event) override;
 private:
  Kind kind_;
  QColor fill_{192, 192, 192};
  QColor border_{160, 160, 160};
};

// Pictures are "<data folder>/bmp/<file>"; the data folder is the program's
// until the window is told where its data is.
void set_picture_folder(const QString& data_folder);
QString picture_path(const QString& file);

// Loads "<data folder>\bmp\<file>" as a button's picture. A missing or
// unreadable file keeps the current picture and returns false.
bool load_button_picture(QAbstractButton* button, const QString& file);
// The file name last loaded into a button ("power_on.bmp"), empty before.
QString button_picture(const QAbstractButton* button);

}  // namespace quadrel
