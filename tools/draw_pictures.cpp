// Draws the panel's button pictures, the logo, the start hint and the keyboard
// legend as BMP files into the folder given on the command line (default "bmp").
//
//   QT_QPA_PLATFORM=offscreen draw_pictures /work/main/bmp
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTextStream>
#include <cmath>
#include <functional>

namespace {

// The face colour of a push button and of the window, so the pictures sit in
// their controls without a visible edge.
const QColor kFace(239, 239, 239);
const QColor kInk(32, 32, 32);
const QColor kGreen(0, 176, 32);
const QColor kRed(220, 0, 0);
const QColor kGrey(150, 150, 150);

QFont sans(int pixel_size, bool bold = true) {
  QFont f;
  f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
  f.setPixelSize(pixel_size);
  f.setBold(bold);
  return f;
}

bool save(const QString& folder, const QString& name, int width, int height, const QColor& background,
          const std::function<void(QPainter&)>& draw) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(background);
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    draw(p);
  }
  const QString path = QDir(folder).filePath(name);
  if (!image.save(path, "BMP")) {
    QTextStream(stderr) << "cannot write " << path << "\n";
    return false;
  }
  return true;
}

// The IEC power symbol: a broken ring with a bar through the gap.
void power_symbol(QPainter& p, QPointF centre, double radius, const QColor& colour, double pen) {
  p.setPen(QPen(colour, pen, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  const QRectF ring(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  p.drawArc(ring, 120 * 16, 300 * 16);
  p.drawLine(QPointF(centre.x(), centre.y() - radius - pen / 2), QPointF(centre.x(), centre.y() + 1));
}

void speaker(QPainter& p, QPointF origin, const QColor& colour) {
  QPolygonF body;
  body << origin + QPointF(0, 6) << origin + QPointF(5, 6) << origin + QPointF(11, 0)
       << origin + QPointF(11, 18) << origin + QPointF(5, 12) << origin + QPointF(0, 12);
  p.setPen(QPen(colour, 1));
  p.setBrush(colour);
  p.drawPolygon(body);
}

void arrow(QPainter& p, int w, int h, double angle_degrees) {
  p.translate(w / 2.0, h / 2.0);
  p.rotate(angle_degrees);
  // Points right at angle 0.
  QPolygonF shape;
  shape << QPointF(-9, -3) << QPointF(1, -3) << QPointF(1, -8) << QPointF(10, 0)
        << QPointF(1, 8) << QPointF(1, 3) << QPointF(-9, 3);
  p.setPen(QPen(kInk, 1));
  p.setBrush(kInk);
  p.drawPolygon(shape);
  p.resetTransform();
}

void word(QPainter& p, int w, int h, const QString& text, int pixel_size, const QColor& colour = kInk) {
  p.setFont(sans(pixel_size));
  p.setPen(colour);
  p.drawText(QRect(0, 0, w, h), Qt::AlignCenter, text);
}

void padlock(QPainter& p, bool closed) {
  const QColor body(200, 150, 20);
  p.setPen(QPen(kInk, 2.2, Qt::SolidLine, Qt::FlatCap));
  p.setBrush(Qt::NoBrush);
  // The shackle: in the body when closed, lifted and turned aside when open.
  QPainterPath shackle;
  if (closed) {
    shackle.moveTo(14, 13);
    shackle.lineTo(14, 8);
    shackle.arcTo(QRectF(14, 2, 12, 12), 180, -180);
    shackle.lineTo(26, 13);
  } else {
    shackle.moveTo(14, 13);
    shackle.lineTo(14, 6);
    shackle.arcTo(QRectF(14, 0, 12, 12), 180, -180);
    shackle.lineTo(26, 8);
  }
  p.drawPath(shackle);
  p.setPen(QPen(kInk, 1));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(10.5, 12.5, 19, 12), 2, 2);
  p.setBrush(kInk);
  p.drawEllipse(QPointF(20, 17.5), 1.6, 1.6);
  p.drawRect(QRectF(19.4, 18, 1.2, 4));
  if (!closed) {
    // The open shackle shows its gap on the right.
    p.setPen(QPen(kFace, 3));
    p.drawLine(QPointF(26, 9.5), QPointF(26, 12));
  }
}

// --- the keyboard legend --------------------------------------------------

const QColor kLegendGrey(212, 212, 212);

// A key: its letter in red inside a framed box.
void key_box(QPainter& p, QRectF box, const QString& key) {
  p.setPen(QPen(kInk, 1));
  p.setBrush(Qt::white);
  p.drawRect(box.adjusted(0.5, 0.5, -0.5, -0.5));
  p.setFont(sans(11));
  p.setPen(kRed);
  p.drawText(box, Qt::AlignCenter, key);
}

void caption(QPainter& p, QRectF area, const QString& text, int pixel_size = 10) {
  p.setFont(sans(pixel_size));
  p.setPen(Qt::black);
  p.drawText(area, Qt::AlignCenter, text);
}

void legend(QPainter& p) {
  // Frames of the three groups.
  p.setPen(QPen(QColor(120, 120, 120), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(2.5, 2.5, 203, 43));
  p.drawRect(QRectF(2.5, 50.5, 203, 43));
  p.drawRect(QRectF(211.5, 2.5, 124, 91));

  // Display modes: 1..5.
  static const char* const kModes[] = {"Matrix", "PoP", "Wall", "PiP", "Quad"};
  for (int i = 0; i < 5; ++i) {
    const double x = 5 + i * 40;
    caption(p, QRectF(x, 5, 38, 14), QString::fromLatin1(kModes[i]));
    key_box(p, QRectF(x + 10, 22, 18, 18), QString::number(i + 1));
  }
  // Outputs A..D on A S D F, inputs 1..4 on J K L ;.
  static const char* const kOutputKeys[] = {"A", "S", "D", "F"};
  static const char* const kInputKeys[] = {"J", "K", "L", ";"};
  for (int i = 0; i < 4; ++i) {
    const double x = 6 + i * 24;
    caption(p, QRectF(x, 53, 22, 14), QString(QChar(u'A' + i)));
    key_box(p, QRectF(x + 2, 70, 18, 18), QString::fromLatin1(kOutputKeys[i]));
    const double x2 = 108 + i * 24;
    caption(p, QRectF(x2, 53, 22, 14), QString::number(i + 1));
    key_box(p, QRectF(x2 + 2, 70, 18, 18), QString::fromLatin1(kInputKeys[i]));
  }
  p.setPen(QPen(QColor(120, 120, 120), 1));
  p.drawLine(QPointF(104.5, 54), QPointF(104.5, 90));

  // The numeric keypad block, laid out as the menu keys of the main window.
  struct Cell { const char* key; const char* text; int symbol; };  // symbol: 0 text, 1 speaker, 2..5 arrows
  static const Cell kCells[3][3] = {
      {{"7", "", 1}, {"8", "", 2}, {"9", "Lock", 0}},
      {{"4", "", 4}, {"5", "OK", 0}, {"6", "", 5}},
      {{"1", "Exit", 0}, {"2", "", 3}, {"3", "Menu", 0}},
  };
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      const Cell& cell = kCells[row][col];
      const double x = 215 + col * 40;
      const double y = 6 + row * 29;
      key_box(p, QRectF(x, y + 4, 15, 18), QString::fromLatin1(cell.key));
      const QRectF area(x + 15, y, 25, 26);
      const QPointF mid = area.center();
      switch (cell.symbol) {
        case 0: caption(p, area, QString::fromLatin1(cell.text), 8); break;
        case 1:
          speaker(p, mid - QPointF(8, 9), Qt::black);
          p.setPen(QPen(Qt::black, 1.4));
          p.setBrush(Qt::NoBrush);
          p.drawArc(QRectF(mid.x() - 3, mid.y() - 6, 10, 12), -50 * 16, 100 * 16);
          break;
        default: {
          static const double kAngle[] = {0, 0, -90, 90, 180, 0};
          p.save();
          p.translate(mid);
          p.rotate(kAngle[cell.symbol]);
          p.scale(0.8, 0.8);
          QPolygonF shape;
          shape << QPointF(-9, -3) << QPointF(1, -3) << QPointF(1, -8) << QPointF(10, 0)
                << QPointF(1, 8) << QPointF(1, 3) << QPointF(-9, 3);
          p.setPen(Qt::NoPen);
          p.setBrush(Qt::black);
          p.drawPolygon(shape);
          p.restore();
        }
      }
    }
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  QGuiApplication app(argc, argv);
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("bmp");
  QDir().mkpath(out);
  bool ok = true;

  // The power button (77 by 39 pixels).
  const int pw = 60, ph = 30;
  ok &= save(out, "power.bmp", pw, ph, kFace, [](QPainter& p) { power_symbol(p, {30, 16}, 9, kInk, 3); });
  ok &= save(out, "power_none.bmp", pw, ph, kFace, [](QPainter& p) { power_symbol(p, {30, 16}, 9, kGrey, 3); });
  ok &= save(out, "power_on.bmp", pw, ph, kFace, [](QPainter& p) { power_symbol(p, {30, 16}, 9, kGreen, 3); });
  ok &= save(out, "power_standby.bmp", pw, ph, kFace, [](QPainter& p) { power_symbol(p, {30, 16}, 9, kRed, 3); });

  // The menu keys, mute and lock (49 by 35 pixels).
  const int kw = 40, kh = 26;
  ok &= save(out, "speaker_on.bmp", kw, kh, kFace, [](QPainter& p) {
    speaker(p, {9, 4}, kInk);
    p.setPen(QPen(kInk, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(14, 7, 8, 12), -50 * 16, 100 * 16);
    p.drawArc(QRectF(13, 3, 14, 20), -50 * 16, 100 * 16);
  });
  ok &= save(out, "speaker_off.bmp", kw, kh, kFace, [](QPainter& p) {
    speaker(p, {9, 4}, kInk);
    p.setPen(QPen(kRed, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(23, 8), QPointF(31, 18));
    p.drawLine(QPointF(31, 8), QPointF(23, 18));
  });
  ok &= save(out, "lock.bmp", kw, kh, kFace, [](QPainter& p) { padlock(p, true); });
  ok &= save(out, "unlock.bmp", kw, kh, kFace, [](QPainter& p) { padlock(p, false); });
  ok &= save(out, "menu_up.bmp", kw, kh, kFace, [](QPainter& p) { arrow(p, kw, kh, -90); });
  ok &= save(out, "menu_down.bmp", kw, kh, kFace, [](QPainter& p) { arrow(p, kw, kh, 90); });
  ok &= save(out, "menu_left.bmp", kw, kh, kFace, [](QPainter& p) { arrow(p, kw, kh, 180); });
  ok &= save(out, "menu_right.bmp", kw, kh, kFace, [](QPainter& p) { arrow(p, kw, kh, 0); });
  ok &= save(out, "menu_ok.bmp", kw, kh, kFace, [](QPainter& p) { word(p, kw, kh, "OK", 14); });
  ok &= save(out, "menu_exit.bmp", kw, kh, kFace, [](QPainter& p) { word(p, kw, kh, "Exit", 13); });
  ok &= save(out, "menu_menu.bmp", kw, kh, kFace, [](QPainter& p) { word(p, kw, kh, "Menu", 12); });

  // The refresh buttons of the tool windows.
  ok &= save(out, "refresh.bmp", 20, 20, kFace, [](QPainter& p) {
    p.setPen(QPen(QColor(0, 110, 0), 2.2, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4, 4, 12, 12), 100 * 16, 290 * 16);
    QPolygonF head;
    head << QPointF(9, 0.5) << QPointF(14.5, 4) << QPointF(9, 7.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 110, 0));
    p.drawPolygon(head);
  });

  // The logo (87 by 30 pixels) and the start hint (170 by 13 pixels).
  ok &= save(out, "logo.bmp", 87, 30, kFace, [](QPainter& p) {
    const QColor tile[] = {QColor(0, 120, 215), QColor(0, 176, 80), QColor(230, 160, 0), QColor(210, 40, 40)};
    for (int i = 0; i < 4; ++i) {
      p.setPen(Qt::NoPen);
      p.setBrush(tile[i]);
      p.drawRect(QRectF(2 + (i % 2) * 9, 6 + (i / 2) * 9, 8, 8));
    }
    p.setFont(sans(17));
    p.setPen(QColor(20, 40, 90));
    p.drawText(QRect(21, 0, 66, 30), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Quadrel"));
  });
  ok &= save(out, "start_hint.bmp", 170, 13, kFace, [](QPainter& p) {
    QPolygonF head;
    head << QPointF(1, 6.5) << QPointF(8, 1) << QPointF(8, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawPolygon(head);
    p.drawRect(QRectF(7, 4.5, 9, 4));
    p.setFont(sans(11));
    p.setPen(kRed);
    p.drawText(QRect(20, 0, 150, 13), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Click Refresh to start"));
  });

  // The legend of the keyboard window.
  ok &= save(out, "keypad_legend.bmp", 339, 96, kLegendGrey, legend);

  return ok ? 0 : 1;
}
