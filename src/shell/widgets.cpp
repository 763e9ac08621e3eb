#include "shell/widgets.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

namespace quadrel {

void place(QWidget* w, int left, int top, int width, int height) {
  w->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

void set_back_color(QWidget* w, const QColor& c) {
  // A style sheet re-polishes the widget: only a real change pays for that.
  const QVariant current = w->property("backColor");
  if (current.isValid() && current.value<QColor>() == c) return;
  w->setProperty("backColor", c);
  w->setStyleSheet(QStringLiteral("background-color: rgb(%1, %2, %3);")
                       .arg(c.red()).arg(c.green()).arg(c.blue()));
}

QColor back_color(const QWidget* w) { return w->property("backColor").value<QColor>(); }

ClickLabel::ClickLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (isEnabled() && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
    emit clicked();
}

ShapeWidget::ShapeWidget(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeWidget::set_fill(const QColor& c) {
  if (fill_ == c) return;
  fill_ = c;
  update();
}

void ShapeWidget::set_border(const QColor& c) {
  if (border_ == c) return;
  border_ = c;
  update();
}

void ShapeWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(border_, 1));
  painter.setBrush(fill_);
  const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  switch (kind_) {
    case Kind::Rectangle: painter.drawRect(r); break;
    case Kind::RoundedRectangle: painter.drawRoundedRect(r, 5, 5); break;
    case Kind::Circle: painter.drawEllipse(r); break;
  }
}

namespace {
QString& folder_override() {
  static QString folder;
  return folder;
}
}  // namespace

QString program_folder() {
  if (!folder_override().isEmpty()) return folder_override();
  return QCoreApplication::applicationDirPath();
}

void set_program_folder(const QString& folder) { folder_override() = folder; }

FileLocations file_locations() { return FileLocations::for_program(program_folder()); }

QString picture_path(const QString& file) {
  return QDir(file_locations().data_folder()).filePath(QStringLiteral("bmp/") + file);
}

bool load_button_picture(QAbstractButton* button, const QString& file) {
  const QPixmap picture(picture_path(file));
  if (picture.isNull()) return false;
  button->setIcon(QIcon(picture));
  button->setIconSize(picture.size());
  button->setProperty("pictureFile", file);
  return true;
}

QString button_picture(const QAbstractButton* button) {
  return button->property("pictureFile").toString();
}

}  // namespace quadrel
