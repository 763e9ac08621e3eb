// The button frame: mode and channel buttons, menu keys, the output map, the
// overlay indicators, the output resolution list and the start hint.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "shell/layout_parts.h"
#include "ui/widgets.h"

namespace quadrel::layout {

namespace {

void build_mode_and_channel_buttons(MainControls& c, QWidget* f) {
  static const char* const kModes[] = {"Matrix", "Dual PoP", "TV Wall", "Dual PiP", "Quad"};
  static const int kModeLeft[] = {2550, 3720, 4920, 6090, 7260};
  for (int i = 1; i <= 5; ++i) {
    const int width = i == 2 ? 1185 : 1155;
    c.cmd_mode[i] = state_button(f, indexed("cmd_mode", i), QString::fromLatin1(kModes[i - 1]),
                                 kModeLeft[i - 1], 0, width, 435);
  }
  static const int kOutLeft[] = {2550, 4050, 5550, 7050};
  for (int i = 1; i <= 4; ++i) {
    const QString caption(QChar(u'A' + (i - 1)));
    c.cmd_out[i] = state_button(f, indexed("cmd_out", i), caption, kOutLeft[i - 1], 510, 1365, 495);
    c.cmd_out[i]->setFont(verdana_font(11, true));
    set_back_color(c.cmd_out[i], colour::idle_grey);
  }
}

// The three-by-three block of picture buttons, laid out like a numeric keypad.
void build_menu_keys(MainControls& c, QWidget* f) {
  c.cmd_mute = picture_button(f, QStringLiteral("cmd_mute"), QStringLiteral("speaker_on.bmp"),
                              QStringLiteral("Mute"), QStringLiteral("Mute"), 0, 360, 735, 525);
  c.cmd_menu_up = picture_button(f, QStringLiteral("cmd_menu_up"), QStringLiteral("menu_up.bmp"),
                                 QStringLiteral("↑"), QStringLiteral("Menu up"), 780, 360, 735, 525);
  c.cmd_lock = picture_button(f, QStringLiteral("cmd_lock"), QStringLiteral("lock.bmp"),
                              QStringLiteral("Lock"), QStringLiteral("Lock"), 1560, 360, 735, 525);
  c.cmd_menu_left = picture_button(f, QStringLiteral("cmd_menu_left"), QStringLiteral("menu_left.bmp"),
                                   QStringLiteral("←"), QStringLiteral("Menu left"), 0, 930, 735, 555);
  c.cmd_menu_ok = picture_button(f, QStringLiteral("cmd_menu_ok"), QStringLiteral("menu_ok.bmp"),
                                 QStringLiteral("OK"), QStringLiteral("Menu OK"), 780, 930, 735, 555);
  c.cmd_menu_right = picture_button(f, QStringLiteral("cmd_menu_right"), QStringLiteral("menu_right.bmp"),
                                    QStringLiteral("→"), QStringLiteral("Menu right"),
                                    1560, 930, 735, 555);
  c.cmd_menu_exit = picture_button(f, QStringLiteral("cmd_menu_exit"), QStringLiteral("menu_exit.bmp"),
                                   QStringLiteral("Exit"), QStringLiteral("Menu exit"), 0, 1530, 735, 525);
  c.cmd_menu_down = picture_button(f, QStringLiteral("cmd_menu_down"), QStringLiteral("menu_down.bmp"),
                                   QStringLiteral("↓"), QStringLiteral("Menu down"), 780, 1530, 735, 525);
  c.cmd_menu_menu = picture_button(f, QStringLiteral("cmd_menu_menu"), QStringLiteral("menu_menu.bmp"),
                                   QStringLiteral("Menu"), QStringLiteral("Menu"), 1560, 1530, 735, 525);
}

// Under each channel button a two-by-two block: inputs 1, 2 above, 3, 4 below.
void build_output_map(MainControls& c, QWidget* f) {
  static const char* const kLabelNames[] = {"lab_out_a_in", "lab_out_b_in", "lab_out_c_in", "lab_out_d_in"};
  static const char* const kShapeNames[] = {"sha_out_a_in", "sha_out_b_in", "sha_out_c_in", "sha_out_d_in"};
  static const int kColumnLeft[4][2] = {{2610, 3270}, {4080, 4740}, {5580, 6240}, {7110, 7770}};
  static const int kRowTop[2] = {1080, 1620};
  for (int ch = 1; ch <= 4; ++ch) {
    for (int in = 1; in <= 4; ++in) {
      const int left = kColumnLeft[ch - 1][(in - 1) % 2];
      const int top = kRowTop[(in - 1) / 2];
      auto* shape = new ShapeWidget(ShapeWidget::Kind::RoundedRectangle, f);
      shape->setObjectName(indexed(kShapeNames[ch - 1], in));
      shape->set_fill(colour::idle_grey);
      place(shape, left, top, 585, 465);
      c.sha_out_in[ch][in] = shape;

      auto* cell = new ClickLabel(QString::number(in), f);
      cell->setObjectName(indexed(kLabelNames[ch - 1], in));
      cell->setFont(verdana_font(10, true));
      cell->setAlignment(Qt::AlignCenter);
      cell->setAccessibleName(QStringLiteral("Output %1, input %2").arg(QChar(u'A' + (ch - 1))).arg(in));
      set_back_color(cell, ch == 1 && in == 1 ? colour::busy_red : colour::idle_grey);
      place(cell, left + 30, top + 30, 525, 420);
      c.lab_out_in[ch][in] = cell;
    }
  }
}

// The P and L indicators: a label that takes the click over a circle that shows
// by its fill whether the click is being handled.
void build_indicator(QWidget* f, const QString& label_name, const QString& caption,
                     const QString& what, int label_left, const QString& shape_name,
                     int shape_left, ClickLabel*& lab, ShapeWidget*& sha) {
  sha = new ShapeWidget(ShapeWidget::Kind::Circle, f);
  sha->setObjectName(shape_name);
  sha->set_fill(QColor(176, 176, 176));
  sha->set_border(QColor(112, 112, 112));
  place(sha, shape_left, 0, 285, 345);
  sha->hide();

  lab = new ClickLabel(caption, f);
  lab->setObjectName(label_name);
  lab->setFont(arial_font(8, true));
  lab->setAlignment(Qt::AlignCenter);
  lab->setAccessibleName(what);
  lab->setToolTip(what);
  place(lab, label_left, 15, 285, 315);
  lab->hide();
}

}  // namespace

void build_button_frame(MainControls& c, QWidget* form) {
  QGroupBox* f = frame(form, QStringLiteral("fra_btn"), QString(), 1410, 90, 11325, 2115);
  f->setAccessibleName(QStringLiteral("Modes, outputs and map"));
  f->setAutoFillBackground(true);  // covers Label2
  c.fra_btn = f;

  build_mode_and_channel_buttons(c, f);
  build_menu_keys(c, f);
  build_output_map(c, f);
  build_indicator(f, QStringLiteral("lab_pip"), QStringLiteral("  P"), QStringLiteral("Dual PiP settings"),
                  1530, QStringLiteral("sha_pip"), 1575, c.lab_pip, c.sha_pip);
  build_indicator(f, QStringLiteral("lab_lab_input"), QStringLiteral("  L"), QStringLiteral("Input labels"),
                  1950, QStringLiteral("sha_lab_in"), 1980, c.lab_lab_input, c.sha_lab_in);

  c.lab_reso_out = label(f, QStringLiteral("lab_reso_out"), QStringLiteral("Output Resolution"),
                         8700, 1650, 1035, 495);
  c.lab_reso_out->setWordWrap(true);
  c.cbo_output = list(f, QStringLiteral("cbo_output"), QStringLiteral("Output Resolution"),
                      9780, 1710, 1515, 375);
  c.lab_reso_out->setBuddy(c.cbo_output);
  c.img_start = image(f, QStringLiteral("img_start"), QStringLiteral("start_hint.bmp"),
                      QStringLiteral("◄ Click Refresh to start"), QStringLiteral("Click Refresh to start"),
                      -30, 0, 2550, 195);
  f->setEnabled(false);
  // The interface frame lies over the map frame's top right corner.
  if (c.fra_rs232) c.fra_rs232->raise();
}

}  // namespace quadrel::layout
