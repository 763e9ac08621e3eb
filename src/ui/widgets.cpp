#include "ui/widgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleOptionButton>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <unordered_map>

namespace quadrel {

void place(QWidget* w, int left, int top, int width, int height) {
  w->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

namespace {

// Relative luminance of a colour as the contrast formula of the web's
// accessibility guidelines defines it.
double luminance(const QColor& c) {
  // Each channel's share of light, worked out once for its 256 values.
  static const std::array<double, 256> channel = [] {
    std::array<double, 256> table{};
    for (int v = 0; v < 256; ++v) {
      const double s = v / 255.0;
      table[v] = s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    }
    return table;
  }();
  return 0.2126 * channel[c.red()] + 0.7152 * channel[c.green()] + 0.0722 * channel[c.blue()];
}

// One palette per colour, made on first use and shared by every label or box
// of that colour.
const QPalette& palette_for(const QColor& c) {
  static std::unordered_map<QRgb, QPalette> prepared;
  auto it = prepared.find(c.rgb());
  if (it != prepared.end()) return it->second;
  QPalette p;
  for (QPalette::ColorRole role : {QPalette::Window, QPalette::Button, QPalette::Base})
    p.setColor(role, c);
  legible_when_disabled(p, c);
  return prepared.emplace(c.rgb(), p).first->second;
}

// The back colour of each widget that has one. A dynamic property would do,
// but looking one up by name first compares the name with every property of
// the widget's classes: a refresh sets and reads colours hundreds of times.
std::unordered_map<const QObject*, QColor>& back_colors() {
  // Never destroyed: a widget may outlive the program's static objects.
  static auto* colours = new std::unordered_map<const QObject*, QColor>;
  return *colours;
}

const QColor* stored_back_color(const QObject* w) {
  const auto& colours = back_colors();
  const auto it = colours.find(w);
  return it == colours.end() ? nullptr : &it->second;
}

// Paints push buttons in their back colour. A button keeps its own palette;
// the style paints it with one palette per colour (and per palette the button
// inherits), made once: the style's pixmap cache, which keys button faces by
// their palette, then finds the face it made the last time the colour was
// shown, instead of caching a new one at every change.
class BackColorStyle : public QProxyStyle {
 public:
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    const QColor* colour = widget ? stored_back_color(widget) : nullptr;
    if (element != CE_PushButton || !button || !colour) {
      QProxyStyle::drawControl(element, option, painter, widget);
      return;
    }
    QStyleOptionButton coloured(*button);
    const QPalette::ColorGroup group = coloured.palette.currentColorGroup();
    coloured.palette = palette_for(coloured.palette, *colour);
    coloured.palette.setCurrentColorGroup(group);
    QProxyStyle::drawControl(element, &coloured, painter, widget);
  }

 private:
  const QPalette& palette_for(const QPalette& inherited, const QColor& c) const {
    const auto key = std::make_pair(inherited.cacheKey(), c.rgb());
    auto it = palettes_.find(key);
    if (it != palettes_.end()) return it->second;
    QPalette p = inherited;
    p.setColor(QPalette::Button, c);
    legible_when_disabled(p, c);
    return palettes_.emplace(key, p).first->second;
  }
  mutable std::map<std::pair<qint64, QRgb>, QPalette> palettes_;
};

QStyle* back_color_style() {
  static QPointer<BackColorStyle> style;
  if (!style) {
    style = new BackColorStyle;
    style->setParent(qApp);
  }
  return style;
}

}  // namespace

double contrast_ratio(const QColor& a, const QColor& b) {
  const double la = luminance(a);
  const double lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor legible_disabled_text(const QColor& background) {
  // The grey nearest the background's that still reads at 3.5:1 (a margin
  // over 3:1 for the shading of button faces): dark on light colours, light on
  // dark ones.
  constexpr double kWanted = 3.5;
  const int level = qGray(background.rgb());
  for (int step = 1; step <= 255; ++step) {
    for (const int v : {level - step, level + step}) {
      if (v < 0 || v > 255) continue;
      const QColor grey(v, v, v);
      if (contrast_ratio(grey, background) >= kWanted) return grey;
    }
  }
  return QColor(0, 0, 0);  // not reached: black or white always reads at 4.5:1
}

void legible_when_disabled(QPalette& palette, const QColor& background) {
  const QColor dim = legible_disabled_text(background);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
    palette.setColor(QPalette::Disabled, role, dim);
}

void keep_back_color(QWidget* w, const QColor& c) {
  auto& colours = back_colors();
  const auto [it, added] = colours.try_emplace(w, c);
  if (!added) {
    it->second = c;
    return;
  }
  QObject::connect(w, &QObject::destroyed, [w] { back_colors().erase(w); });
}

void set_back_color(QWidget* w, const QColor& c) {
  if (qobject_cast<QPushButton*>(w)) {
    const QColor* now = stored_back_color(w);
    if (now && *now == c) return;  // the look does not change
    if (w->style() != back_color_style()) w->setStyle(back_color_style());
    keep_back_color(w, c);
    w->update();
    return;
  }
  const QPalette& now = w->palette();
  if (w->testAttribute(Qt::WA_SetPalette) && now.color(QPalette::Button) == c &&
      now.color(QPalette::Window) == c && now.color(QPalette::Base) == c)
    return;  // the look does not change
  w->setPalette(palette_for(c));
  // Text boxes paint their own faces from the palette; labels and plain
  // widgets fill their background with it.
  if (!qobject_cast<QLineEdit*>(w)) w->setAutoFillBackground(true);
  keep_back_color(w, c);
}

QColor back_color(const QWidget* w) {
  const QColor* colour = stored_back_color(w);
  return colour ? *colour : QColor();
}

void set_accessible_name(QWidget* w, const QString& name) {
  if (w && w->accessibleName() != name) w->setAccessibleName(name);
}

void set_accessible_description(QWidget* w, const QString& description) {
  if (w && w->accessibleDescription() != description) w->setAccessibleDescription(description);
}

ClickLabel::ClickLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setFocusPolicy(Qt::StrongFocus);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (isEnabled() && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
    emit clicked();
}

void ClickLabel::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (!event->isAutoRepeat() && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
    event->accept();
    if (isEnabled()) emit clicked();
    return;
  }
  QLabel::keyPressEvent(event);
}

void ClickLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (hasFocus()) paint_focus_ring(this);
}

void paint_focus_ring(QWidget* w) {
  QPainter painter(w);
  painter.setPen(QPen(Qt::black, 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(w->rect()).adjusted(1, 1, -1, -1));
}

void set_access_key(QAbstractButton* button, QChar key) {
  if (!button) return;
  const QString caption = button->text();
  const qsizetype at = caption.indexOf(key, 0, Qt::CaseInsensitive);
  if (at < 0 || caption.contains(QLatin1Char('&'))) return;
  if (button->accessibleName().isEmpty()) button->setAccessibleName(caption);
  button->setText(caption.left(at) + QLatin1Char('&') + caption.mid(at));
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
QString& picture_folder() {
  static QString folder;
  return folder;
}
}  // namespace

void set_picture_folder(const QString& data_folder) { picture_folder() = data_folder; }

QString picture_path(const QString& file) {
  const QString folder = picture_folder().isEmpty() ? QCoreApplication::applicationDirPath() : picture_folder();
  return QDir(folder).filePath(QStringLiteral("bmp/") + file);
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
