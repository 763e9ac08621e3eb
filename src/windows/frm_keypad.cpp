#include "windows/frm_keypad.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>

#include "ui/widgets.h"

namespace quadrel {

namespace {

const char* const kLegendText =
    "1 Matrix   2 PoP   3 Wall   4 PiP   5 Quad\n"
    "A S D F: output A B C D      J K L ; : input 1 2 3 4\n"
    "Keypad  7 Speaker  8 Up  9 Lock  |  4 Left  5 OK  6 Right  |  1 Exit  2 Down  3 Menu";

// The legend is laid out on 512 by 144 pixels and scaled to its place.
constexpr double kLegendWidth = 512;
constexpr double kLegendHeight = 144;
constexpr int kCaptionPixels = 14;
constexpr int kKeyPixels = 15;
constexpr int kWordPixels = 13;

const QColor kBack(212, 212, 212);
const QColor kFrame(110, 110, 110);
const QColor kKeyRed(200, 0, 0);  // 5.9:1 on the white key face

QFont legend_font(int pixels) {
  QFont f;
  f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
  f.setPixelSize(pixels);
  f.setBold(true);
  return f;
}

// A key: its letter in red in a framed white box.
void key_box(QPainter& p, const QRectF& box, const QString& key) {
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::white);
  p.drawRect(box.adjusted(0.5, 0.5, -0.5, -0.5));
  p.setFont(legend_font(kKeyPixels));
  p.setPen(kKeyRed);
  p.drawText(box, Qt::AlignCenter, key);
}

void caption(QPainter& p, const QRectF& area, const QString& text, int pixels = kCaptionPixels) {
  p.setFont(legend_font(pixels));
  p.setPen(Qt::black);
  p.drawText(area, Qt::AlignCenter, text);
}

// Points right at angle 0.
void arrow(QPainter& p, QPointF centre, double angle) {
  p.save();
  p.translate(centre);
  p.rotate(angle);
  QPolygonF shape;
  shape << QPointF(-11, -4) << QPointF(1, -4) << QPointF(1, -10) << QPointF(12, 0) << QPointF(1, 10)
        << QPointF(1, 4) << QPointF(-11, 4);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawPolygon(shape);
  p.restore();
}

void speaker(QPainter& p, QPointF centre) {
  const QPointF o = centre - QPointF(10, 11);
  QPolygonF body;
  body << o + QPointF(0, 7) << o + QPointF(6, 7) << o + QPointF(13, 0) << o + QPointF(13, 22)
       << o + QPointF(6, 15) << o + QPointF(0, 15);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawPolygon(body);
  p.setPen(QPen(Qt::black, 1.8));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(o.x() + 9, o.y() + 4, 12, 14), -50 * 16, 100 * 16);
}

void draw_legend(QPainter& p) {
  p.fillRect(QRectF(0, 0, kLegendWidth, kLegendHeight), kBack);
  p.setPen(QPen(kFrame, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(2.5, 2.5, 305, 67));
  p.drawRect(QRectF(2.5, 74.5, 305, 67));
  p.drawRect(QRectF(314.5, 2.5, 195, 139));

  // Display modes on the main-row digits.
  static const char* const kModes[] = {"Matrix", "PoP", "Wall", "PiP", "Quad"};
  for (int i = 0; i < 5; ++i) {
    const double x = 5 + i * 60;
    caption(p, QRectF(x, 6, 60, 22), QString::fromLatin1(kModes[i]));
    key_box(p, QRectF(x + 18, 33, 24, 24), QString::number(i + 1));
  }
  // Outputs A to D on A S D F, inputs 1 to 4 on J K L ;.
  static const char* const kOutputKeys[] = {"A", "S", "D", "F"};
  static const char* const kInputKeys[] = {"J", "K", "L", ";"};
  for (int i = 0; i < 4; ++i) {
    const double x = 8 + i * 36;
    caption(p, QRectF(x, 78, 36, 22), QString(QChar(u'A' + i)));
    key_box(p, QRectF(x + 6, 105, 24, 24), QString::fromLatin1(kOutputKeys[i]));
    const double x2 = 158 + i * 36;
    caption(p, QRectF(x2, 78, 36, 22), QString::number(i + 1));
    key_box(p, QRectF(x2 + 6, 105, 24, 24), QString::fromLatin1(kInputKeys[i]));
  }
  p.setPen(QPen(kFrame, 1));
  p.drawLine(QPointF(154.5, 80), QPointF(154.5, 136));

  // The numeric keypad, laid out as the menu keys of the main window.
  struct Cell {
    const char* key;
    const char* word;
    int symbol;  // 0 word, 1 speaker, arrows 2 up, 3 left, 4 right, 5 down
  };
  static const Cell kCells[3][3] = {
      {{"7", "", 1}, {"8", "", 2}, {"9", "Lock", 0}},
      {{"4", "", 3}, {"5", "OK", 0}, {"6", "", 4}},
      {{"1", "Exit", 0}, {"2", "", 5}, {"3", "Menu", 0}},
  };
  static const double kAngle[] = {0, 0, -90, 180, 0, 90};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      const Cell& cell = kCells[row][col];
      const double x = 318 + col * 64;
      const double y = 7 + row * 45;
      key_box(p, QRectF(x, y + 8, 22, 24), QString::fromLatin1(cell.key));
      const QRectF area(x + 23, y + 2, 40, 36);
      if (cell.symbol == 0)
        caption(p, area, QString::fromLatin1(cell.word), kWordPixels);
      else if (cell.symbol == 1)
        speaker(p, area.center());
      else
        arrow(p, area.center(), kAngle[cell.symbol]);
    }
  }
}

// The legend picture, drawn at the size of its place.
class Legend : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(width() / kLegendWidth, height() / kLegendHeight);
    draw_legend(p);
  }
};

}  // namespace

FrmKeypad::FrmKeypad(QWidget* owner)
    : ToolWindow(owner, QStringLiteral("Keyboard"), kClientWidth, kClientHeight) {
  setObjectName(QStringLiteral("frm_keypad"));
  setFocusPolicy(Qt::StrongFocus);

  img_keypad = new Legend(this);
  img_keypad->setObjectName(QStringLiteral("img_keypad"));
  place(img_keypad, 135, 180, 7680, 2160);
  img_keypad->setAccessibleName(QStringLiteral("Keyboard legend"));
  img_keypad->setAccessibleDescription(QString::fromLatin1(kLegendText));
}

int FrmKeypad::legend_text_pixels() {
  return std::min({kCaptionPixels, kKeyPixels, kWordPixels}) * twips(7680) / static_cast<int>(kLegendWidth);
}

void FrmKeypad::keyPressEvent(QKeyEvent* event) {
  event->accept();
  if (on_key_down) on_key_down(event);
}

}  // namespace quadrel
