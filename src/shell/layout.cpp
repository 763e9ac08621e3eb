#include "shell/layout.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

#include "link/link_opener.h"
#include "ui/accessibility.h"
#include "ui/control_kinds.h"
#include "shell/layout_parts.h"
#include "ui/widgets.h"

namespace quadrel {

namespace layout {

namespace {

QFont font_of(const QStringList& families, int point_size, bool bold) {
  QFont f;
  f.setFamilies(families);
  f.setPointSize(point_size);
  f.setBold(bold);
  // The captions are plain ASCII, which every one of these faces has: no
  // fallback faces are looked up for missing characters.
  f.setStyleHint(QFont::SansSerif, QFont::NoFontMerging);
  return f;
}

// A fixed picture that looks the same whether or not its frame is enabled: the
// start hint must stay red while the map frame is still disabled.
class FixedPicture : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QPixmap picture = pixmap();
    if (!picture.isNull()) {
      p.drawPixmap(0, (height() - picture.height()) / 2, picture);
      return;
    }
    p.setFont(font());
    p.setPen(palette().color(QPalette::Active, QPalette::WindowText));
    p.drawText(rect(), static_cast<int>(alignment()), text());
  }
};

}  // namespace

QFont arial_font(int point_size, bool bold) {
  return font_of({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                  QStringLiteral("DejaVu Sans")},
                 point_size, bold);
}

QFont courier_font(int point_size) {
  QFont f = font_of({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
                     QStringLiteral("DejaVu Sans Mono")},
                    point_size, false);
  f.setStyleHint(QFont::Monospace, QFont::NoFontMerging);
  return f;
}

QFont verdana_font(int point_size, bool bold) {
  return font_of({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"),
                  QStringLiteral("Liberation Sans")},
                 point_size, bold);
}

QFont mingliu_font(int point_size) {
  return font_of({QStringLiteral("新細明體"), QStringLiteral("PMingLiU"),
                  QStringLiteral("AR PL UMing TW"), QStringLiteral("AR PL UMing CN")},
                 point_size, false);
}

QString indexed(const char* name, int index) {
  return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

void fill_background(QWidget* w, const QColor& c) {
  QPalette pal = w->palette();
  pal.setColor(QPalette::Window, c);
  legible_when_disabled(pal, c);
  w->setPalette(pal);
  w->setAutoFillBackground(true);
  keep_back_color(w, c);
}

namespace {
QPushButton* set_up_button(QPushButton* b, const QString& name, const QString& caption,
                           int left, int top, int width, int height) {
  b->setObjectName(name);
  b->setFont(arial_font());
  b->setAccessibleName(caption);
  b->setAutoDefault(false);
  place(b, left, top, width, height);
  return b;
}
}  // namespace

QPushButton* button(QWidget* parent, const QString& name, const QString& caption,
                    int left, int top, int width, int height) {
  return set_up_button(new QPushButton(caption, parent), name, caption, left, top, width, height);
}

QPushButton* state_button(QWidget* parent, const QString& name, const QString& caption,
                          int left, int top, int width, int height) {
  return set_up_button(new StateButton(caption, parent), name, caption, left, top, width, height);
}

QPushButton* picture_button(QWidget* parent, const QString& name, const QString& file,
                            const QString& caption, const QString& what,
                            int left, int top, int width, int height) {
  QPushButton* b = button(parent, name, QString(), left, top, width, height);
  b->setAccessibleName(what);
  b->setToolTip(what);
  if (!load_button_picture(b, file)) b->setText(caption);
  return b;
}

QLabel* label(QWidget* parent, const QString& name, const QString& caption,
              int left, int top, int width, int height) {
  auto* l = new QLabel(caption, parent);
  l->setObjectName(name);
  l->setFont(arial_font());
  l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  place(l, left, top, width, height);
  return l;
}

QLineEdit* text_box(QWidget* parent, const QString& name, const QString& what,
                    int left, int top, int width, int height) {
  auto* t = new QLineEdit(parent);
  t->setObjectName(name);
  t->setFont(courier_font());
  t->setAccessibleName(what);
  t->setTextMargins(1, 0, 1, 0);
  place(t, left, top, width, height);
  return t;
}

QGroupBox* frame(QWidget* parent, const QString& name, const QString& caption,
                 int left, int top, int width, int height) {
  auto* f = new QGroupBox(caption, parent);
  f->setObjectName(name);
  f->setFont(arial_font());
  f->setAccessibleName(caption);
  place(f, left, top, width, height);
  return f;
}

QRadioButton* option(QWidget* parent, const QString& name, const QString& caption,
                     int left, int top, int width, int height) {
  auto* o = new QRadioButton(caption, parent);
  o->setObjectName(name);
  o->setFont(arial_font());
  o->setAccessibleName(caption);
  place(o, left, top, width, height);
  return o;
}

QComboBox* list(QWidget* parent, const QString& name, const QString& what,
                int left, int top, int width, int height) {
  auto* l = new ChoiceList(parent);
  l->setObjectName(name);
  l->setFont(arial_font());
  l->setAccessibleName(what);
  place(l, left, top, width, height);
  return l;
}

QScrollBar* slider(QWidget* parent, const QString& name, const QString& what, int maximum,
                   int left, int top, int width, int height) {
  auto* s = new Slider(parent);
  s->setObjectName(name);
  s->setRange(0, maximum);
  s->setSingleStep(1);
  s->setPageStep(10);
  s->setTracking(false);
  s->setAccessibleName(what);
  take_wheel_only_with_focus(s);
  place(s, left, top, width, height);
  return s;
}

QLabel* image(QWidget* parent, const QString& name, const QString& file,
              const QString& fallback, const QString& what,
              int left, int top, int width, int height) {
  auto* img = new FixedPicture(parent);
  img->setObjectName(name);
  img->setAccessibleName(what);
  place(img, left, top, width, height);
  const QPixmap picture(picture_path(file));
  if (!picture.isNull()) {
    img->setPixmap(picture);
    img->setProperty("pictureFile", file);
  } else {
    img->setText(fallback);
    img->setFont(arial_font(7, true));
    QPalette pal = img->palette();
    pal.setColor(QPalette::WindowText, colour::busy_red);
    img->setPalette(pal);
  }
  img->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return img;
}

// Refresh, Keyboard, the power and Advanced buttons and the logo, left of the map.
void build_top_strip(MainControls& c, QWidget* form) {
  c.cmd_refresh = button(form, QStringLiteral("cmd_refresh"), QStringLiteral("Refresh"),
                         120, 60, 1155, 405);
  c.cmd_refresh->setFont(arial_font(9, true));
  c.cmd_keypad = button(form, QStringLiteral("cmd_keypad"), QStringLiteral("Keyboard"),
                        1410, 60, 1515, 345);
  c.cmd_keypad->hide();
  // Lies under the button frame and is never seen, nor told to assistive tools.
  c.Label2 = label(form, QStringLiteral("Label2"), QStringLiteral("Label2"), 1380, 90, 2295, 345);
  leave_out_of_accessibility(c.Label2);
  c.Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);  // its text wholly under the frame
  c.Image1 = image(form, QStringLiteral("Image1"), QStringLiteral("logo.bmp"),
                   QStringLiteral("Quadrel"), QStringLiteral("Quadrel logo"), 30, 570, 1305, 450);
  c.cmd_pwr = picture_button(form, QStringLiteral("cmd_pwr"), QStringLiteral("power.bmp"),
                             QStringLiteral("Power"), QStringLiteral("Power"),
                             120, 1140, 1155, 585);
  c.cmd_advance = button(form, QStringLiteral("cmd_advance"), QStringLiteral("Advanced"),
                         120, 1740, 1155, 405);
}

// "Control Interface": the serial and the Ethernet group share one place.
void build_interface_frame(MainControls& c, QWidget* form) {
  QGroupBox* f = frame(form, QStringLiteral("fra_rs232"), QStringLiteral("Control Interface"),
                       9990, 0, 2655, 1695);
  c.fra_rs232 = f;
  c.opt_interface[0] = option(f, indexed("opt_interface", 0), QStringLiteral("RS-232"),
                              150, 300, 1035, 285);
  c.opt_interface[1] = option(f, indexed("opt_interface", 1), QStringLiteral("Ethernet"),
                              1290, 300, 1245, 285);

  // Checked while their link is connected.
  c.cmd_conn = state_button(f, QStringLiteral("cmd_conn"), QStringLiteral("Connect"), 120, 630, 1215, 405);
  c.cmd_disconn = button(f, QStringLiteral("cmd_disconn"), QStringLiteral("Disconnect"),
                         1350, 630, 1215, 405);
  c.cbo_com = list(f, QStringLiteral("cbo_com"), QStringLiteral("Serial port"), 120, 1110, 1215, 375);
  c.lab_rs232 = label(f, QStringLiteral("lab_rs232"), QStringLiteral("115200,8,N,1"),
                      1380, 1200, 1155, 315);

  c.cmd_conn_eth = state_button(f, QStringLiteral("cmd_conn_eth"), QStringLiteral("Connect"),
                                120, 630, 1215, 405);
  c.cmd_disconn_eth = button(f, QStringLiteral("cmd_disconn_eth"), QStringLiteral("Disconnect"),
                             1350, 630, 1215, 405);
  c.lab_ip = label(f, QStringLiteral("lab_ip"), QStringLiteral("IP :"), 120, 1200, 375, 315);
  c.txt_ip = text_box(f, QStringLiteral("txt_ip"), QStringLiteral("IP address"), 570, 1140, 1965, 345);
  c.txt_ip->setText(QStringLiteral("txt_ip"));
  c.lab_ip->setBuddy(c.txt_ip);
  c.lab_eth_state = label(f, QStringLiteral("lab_eth_state"), QStringLiteral("Connecting..."),
                          1590, 1440, 1245, 315);
  QPalette pal = c.lab_eth_state->palette();
  pal.setColor(QPalette::WindowText, colour::busy_red);
  c.lab_eth_state->setPalette(pal);

  c.cmd_disconn_eth->setEnabled(false);
  for (QWidget* w : {static_cast<QWidget*>(c.cmd_conn), static_cast<QWidget*>(c.cmd_disconn),
                     static_cast<QWidget*>(c.cbo_com), static_cast<QWidget*>(c.cmd_conn_eth),
                     static_cast<QWidget*>(c.cmd_disconn_eth), static_cast<QWidget*>(c.lab_ip),
                     static_cast<QWidget*>(c.lab_eth_state)})
    w->hide();
}

// Get IP with the network boxes, Factory Reset, the firmware version and, below
// the window's advanced height, the console and its clear button.
void build_network_and_version(MainControls& c, QWidget* form) {
  c.cmd_get_ip = button(form, QStringLiteral("cmd_get_ip"), QStringLiteral("Get IP"),
                        7920, 5190, 1100, 375);
  c.lab_inq_ip = label(form, QStringLiteral("lab_inq_ip"), QStringLiteral("IP"), 9090, 5250, 315, 315);
  c.Label1 = label(form, QStringLiteral("Label1"), QStringLiteral("Subnet Mask"), 8130, 5610, 1395, 315);
  c.Label3 = label(form, QStringLiteral("Label3"), QStringLiteral("Gate Way"), 8400, 5970, 1035, 315);
  c.txt_get_ip = text_box(form, QStringLiteral("txt_get_ip"), QStringLiteral("Device IP address"),
                          9360, 5190, 1965, 345);
  c.txt_get_mask = text_box(form, QStringLiteral("txt_get_mask"), QStringLiteral("Subnet mask"),
                            9360, 5580, 1965, 345);
  c.txt_get_gate = text_box(form, QStringLiteral("txt_get_gate"), QStringLiteral("Gateway"),
                            9360, 5970, 1965, 345);

  c.cmd_fact_reset = button(form, QStringLiteral("cmd_fact_reset"), QStringLiteral("Factory Reset"),
                            11460, 5160, 1185, 585);
  c.cmd_ver = button(form, QStringLiteral("cmd_ver"), QStringLiteral("F/W Ver"), 11460, 5760, 1185, 315);
  c.txt_ver = text_box(form, QStringLiteral("txt_ver"), QStringLiteral("Firmware version"),
                       11490, 6090, 675, 390);
  c.txt_ver2 = text_box(form, QStringLiteral("txt_ver2"), QStringLiteral("Second firmware version"),
                        12150, 6090, 450, 390);
  c.lab_inq_ip->setBuddy(c.txt_get_ip);
  c.Label1->setBuddy(c.txt_get_mask);
  c.Label3->setBuddy(c.txt_get_gate);
  // The versions are the device's: shown, not typed.
  c.txt_ver->setReadOnly(true);
  c.txt_ver2->setReadOnly(true);
  set_back_color(c.txt_ver, colour::idle_grey);
  set_back_color(c.txt_ver2, colour::idle_grey);

  c.txt_cmd = new QPlainTextEdit(form);
  c.txt_cmd->setObjectName(QStringLiteral("txt_cmd"));
  c.txt_cmd->setReadOnly(true);
  c.txt_cmd->setFont(courier_font());
  c.txt_cmd->setAccessibleName(QStringLiteral("Console"));
  place(c.txt_cmd, 150, 6600, 11835, 2445);
  c.cmd_clear = button(form, QStringLiteral("cmd_clear"), QStringLiteral("清"), 12060, 6600, 645, 555);
  c.cmd_clear->setFont(mingliu_font());
  c.cmd_clear->setAccessibleName(QStringLiteral("Clear console"));
}

}  // namespace layout

void build_main_layout(MainControls& c, QWidget* form) {
  using namespace layout;
  c.frm_main = form;
  form->setFont(arial_font());
  // Disabled captions stay readable on the window's background; the controls
  // inherit this.
  QPalette pal = form->palette();
  legible_when_disabled(pal, pal.color(QPalette::Window));
  form->setPalette(pal);
  place(form, 0, 0, 12780, 9165);

  build_top_strip(c, form);
  build_interface_frame(c, form);
  build_button_frame(c, form);
  build_audio_frames(c, form);
  build_bezel_frame(c, form);
  build_picture_frame(c, form);
  build_presets(c, form);
  build_network_and_version(c, form);

  // Label2 stays under the button frame; the Keyboard button lies over its corner.
  c.Label2->lower();
  c.cmd_keypad->raise();

  // Access keys (Alt and the underlined character). No two buttons shown
  // together share one: the two Connect and the two Disconnect buttons are
  // never shown at the same time.
  const std::pair<QAbstractButton*, char> keys[] = {
      {c.cmd_refresh, 'R'},     {c.cmd_keypad, 'K'},        {c.cmd_advance, 'A'},     {c.cmd_hdcp, 'H'},
      {c.cmd_get_ip, 'G'},      {c.cmd_fact_reset, 'F'},    {c.cmd_ver, 'V'},         {c.opt_interface[0], '2'},
      {c.opt_interface[1], 'T'}, {c.cmd_conn, 'C'},         {c.cmd_disconn, 'D'},     {c.cmd_conn_eth, 'C'},
      {c.cmd_disconn_eth, 'D'}, {c.cmd_mode[1], 'M'},       {c.cmd_mode[2], 'P'},     {c.cmd_mode[3], 'W'},
      {c.cmd_mode[4], 'I'},     {c.cmd_mode[5], 'Q'},       {c.cmd_pic_reset, 'E'},   {c.cmd_pic_refresh, 'S'},
      {c.opt_bezel_onoff[1], 'N'}, {c.opt_bezel_onoff[0], 'O'},
  };
  for (const auto& [button, key] : keys) set_access_key(button, QLatin1Char(key));
  // The console lies below both of the window's heights: it takes no focus.
  c.txt_cmd->setFocusPolicy(Qt::NoFocus);
  c.cmd_clear->setFocusPolicy(Qt::NoFocus);

  c.tim_eth = new QTimer(form);
  c.tim_eth->setObjectName(QStringLiteral("tim_eth"));
  c.tim_eth->setInterval(LinkOpener::kConnectLimitMs);
  c.tim_eth->setTimerType(Qt::PreciseTimer);  // a coarse timer may end the 7 s up to 5% early
}

}  // namespace quadrel
