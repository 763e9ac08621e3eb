#include "ui/control_kinds.h"

#include <QApplication>
#include <QPointer>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "ui/widgets.h"

namespace quadrel {

StateButton::StateButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
  setCheckable(true);
}

void show_current(QAbstractButton* button, bool current) {
  if (!button) return;
  set_back_color(button, current ? colour::highlight_blue : colour::idle_grey);
  if (button->isCheckable()) button->setChecked(current);
}

namespace {

// Eats wheel turns over controls that do not have the focus.
class WheelGuard : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Wheel) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w->hasFocus()) return false;
    event->ignore();
    return true;
  }
};

WheelGuard* wheel_guard() {
  static QPointer<WheelGuard> guard;
  if (!guard) guard = new WheelGuard(qApp);
  return guard;
}

constexpr int kArrowWidth = 7;
constexpr int kArrowMargin = 4;  // between the arrow and the right edge
constexpr int kTextLeft = 4;
constexpr int kTextGap = 3;  // between the text and the arrow

}  // namespace

void take_wheel_only_with_focus(QWidget* w) {
  if (!w) return;
  // A click or Tab gives the focus; the wheel does not.
  w->setFocusPolicy(Qt::StrongFocus);
  w->installEventFilter(wheel_guard());
}

ChoiceList::ChoiceList(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  take_wheel_only_with_focus(this);
}

QRect ChoiceList::text_room() const {
  return rect().adjusted(kTextLeft, 1, -(kArrowMargin + kArrowWidth + kTextGap), -1);
}

QString ChoiceList::fit(double* squeeze) const {
  const QString text = currentText();
  const int room = text_room().width();
  const int natural = fontMetrics().horizontalAdvance(text);
  double factor = 1.0;
  QString shown = text;
  if (natural > room && room > 0) {
    // Condensed as far as needed, never below the least squeeze; past that the end is cut.
    factor = std::max(least_squeeze_, static_cast<double>(room) / natural);
    if (natural * factor > room) {
      // Cut anyway: no more condensed than any list.
      factor = std::max(factor, kLeastSqueeze);
      shown = fontMetrics().elidedText(text, Qt::ElideRight, static_cast<int>(room / factor));
    }
  }
  if (squeeze) *squeeze = factor;
  return shown;
}

void ChoiceList::paintEvent(QPaintEvent*) {
  QStylePainter p(this);
  QStyleOptionComboBox box;
  initStyleOption(&box);

  // The face of a button, with a narrow arrow of its own instead of the
  // style's arrow field, so that the chosen entry has the whole width.
  QStyleOptionButton face;
  face.QStyleOption::operator=(box);
  face.rect = rect();
  face.state &= ~(QStyle::State_HasFocus | QStyle::State_On);
  face.state |= (box.state & QStyle::State_On) ? QStyle::State_Sunken : QStyle::State_Raised;
  p.drawPrimitive(QStyle::PE_PanelButtonCommand, face);

  QStyleOption arrow = box;
  const int arrow_height = std::min(kArrowWidth, height() - 4);
  arrow.rect = QRect(width() - kArrowMargin - kArrowWidth, (height() - arrow_height) / 2, kArrowWidth,
                     arrow_height);
  p.drawPrimitive(QStyle::PE_IndicatorArrowDown, arrow);

  const QRect room = text_room();
  const int align = Qt::AlignLeft | Qt::AlignVCenter;
  double squeeze = 1.0;
  const QString shown = fit(&squeeze);
  p.save();
  p.translate(room.left(), 0);
  p.scale(squeeze, 1.0);
  const int wide = static_cast<int>(std::ceil(room.width() / squeeze));
  p.drawItemText(QRect(0, room.top(), wide, room.height()), align, box.palette, isEnabled(), shown,
                 QPalette::ButtonText);
  p.restore();

  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(box);
    focus.rect = room.adjusted(-2, 1, 2, -1);
    focus.backgroundColor = box.palette.color(QPalette::Button);
    p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

void Slider::paintEvent(QPaintEvent* event) {
  QScrollBar::paintEvent(event);
  if (hasFocus()) paint_focus_ring(this);
}

}  // namespace quadrel
