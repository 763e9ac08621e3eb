// The groups of the advanced size: picture, bezel, audio and aspect, presets.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionGroupBox>
#include <QStylePainter>

#include "shell/layout_parts.h"
#include "ui/widgets.h"

namespace quadrel::layout {

namespace {

// "Picture" keeps its caption (read by assistive tools) but does not draw it:
// the four adjustment frames cover the caption's place, and the label at the
// bottom of the frame shows the word instead.
class UntitledFrame : public QGroupBox {
 public:
  using QGroupBox::QGroupBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    option.text.clear();
    option.subControls &= ~QStyle::SC_GroupBoxLabel;
    painter.drawComplexControl(QStyle::CC_GroupBox, option);
  }
};

// One adjustment frame of "Picture": a row per output with a caption, a slider
// and, over the slider's track between its two arrows, the number box.
struct Adjustment {
  const char* frame_name;
  const char* caption;
  int left;
  const char* label_name;
  const char* slider_name;
  const char* box_name;
  std::array<QLabel*, 5>* labels;
  std::array<QScrollBar*, 5>* sliders;
  std::array<QLineEdit*, 5>* boxes;
};

QGroupBox* build_adjustment(QWidget* fra_pic, const Adjustment& a) {
  QGroupBox* f = frame(fra_pic, QString::fromLatin1(a.frame_name), QString::fromLatin1(a.caption),
                       a.left, 60, 1845, 2175);
  fill_background(f, QColor(176, 176, 176));
  static const int kRowTop[] = {300, 750, 1200, 1650};
  for (int n = 1; n <= 4; ++n) {
    const int top = kRowTop[n - 1];
    const QString out = QStringLiteral("Out %1").arg(QChar(u'A' + (n - 1)));
    const QString what = QStringLiteral("%1 %2").arg(QString::fromLatin1(a.caption), out);
    (*a.labels)[n] = label(f, indexed(a.label_name, n), out, 60, top + 60, 645, 375);
    (*a.sliders)[n] = slider(f, indexed(a.slider_name, n), what, 100, 690, top, 1035, 375);
    (*a.labels)[n]->setBuddy((*a.sliders)[n]);
    QLineEdit* box = text_box(f, indexed(a.box_name, n), what + QStringLiteral(" value"),
                              930, top, 555, 375);
    box->setAlignment(Qt::AlignCenter);
    set_back_color(box, colour::idle_grey);
    (*a.boxes)[n] = box;
  }
  return f;
}

}  // namespace

void build_picture_frame(MainControls& c, QWidget* form) {
  QGroupBox* f = new UntitledFrame(QStringLiteral("Picture"), form);
  f->setObjectName(QStringLiteral("fra_pic"));
  f->setFont(arial_font());
  f->setAccessibleName(QStringLiteral("Picture"));
  place(f, 4680, 2430, 7965, 2685);
  c.fra_pic = f;
  c.fra_con = build_adjustment(f, {"fra_con", "Contrast", 120, "lab_con", "hsr_con", "txt_con",
                                   &c.lab_con, &c.hsr_con, &c.txt_con});
  c.fra_bri = build_adjustment(f, {"fra_bri", "Brightness", 2070, "lab_bri", "hsr_bri", "txt_bri",
                                   &c.lab_bri, &c.hsr_bri, &c.txt_bri});
  c.fra_sat = build_adjustment(f, {"fra_sat", "Saturation", 4020, "lab_sat", "hsr_sat", "txt_sat",
                                   &c.lab_sat, &c.hsr_sat, &c.txt_sat});
  c.fra_hue = build_adjustment(f, {"fra_hue", "Hue", 5970, "lab_hue", "hsr_hue", "txt_hue",
                                   &c.lab_hue, &c.hsr_hue, &c.txt_hue});
  c.lab_pic = label(f, QStringLiteral("lab_pic"), QStringLiteral("Picture"), 4920, 2340, 645, 315);
  c.cmd_pic_reset = button(f, QStringLiteral("cmd_pic_reset"), QStringLiteral("Reset"), 5640, 2310, 1100, 345);
  c.cmd_pic_refresh = button(f, QStringLiteral("cmd_pic_refresh"), QStringLiteral("Refresh"),
                             6750, 2310, 1100, 345);
  f->setEnabled(false);
}

void build_bezel_frame(MainControls& c, QWidget* form) {
  QGroupBox* f = frame(form, QStringLiteral("fra_bezel"), QStringLiteral("Bezel Correction"),
                       1980, 2430, 2505, 1575);
  c.fra_bezel = f;
  c.opt_bezel_onoff[1] = option(f, indexed("opt_bezel_onoff", 1), QStringLiteral("On"), 120, 270, 615, 315);
  c.opt_bezel_onoff[0] = option(f, indexed("opt_bezel_onoff", 0), QStringLiteral("Off"), 780, 270, 615, 315);

  c.lab_bezel_h = label(f, QStringLiteral("lab_bezel_h"), QStringLiteral("H Correction"), 120, 660, 1155, 375);
  c.hsr_bezel_h = slider(f, QStringLiteral("hsr_bezel_h"), QStringLiteral("H Correction"), 254,
                         1290, 600, 1035, 375);
  c.txt_bezel_h = text_box(f, QStringLiteral("txt_bezel_h"), QStringLiteral("H Correction value"),
                           1530, 600, 555, 375);
  c.lab_bezel_v = label(f, QStringLiteral("lab_bezel_v"), QStringLiteral("V Correction"), 120, 1110, 1155, 375);
  c.hsr_bezel_v = slider(f, QStringLiteral("hsr_bezel_v"), QStringLiteral("V Correction"), 254,
                         1290, 1080, 1035, 375);
  c.txt_bezel_v = text_box(f, QStringLiteral("txt_bezel_v"), QStringLiteral("V Correction value"),
                           1530, 1080, 555, 375);
  c.lab_bezel_h->setBuddy(c.hsr_bezel_h);
  c.lab_bezel_v->setBuddy(c.hsr_bezel_v);
  c.txt_bezel_h->setAlignment(Qt::AlignCenter);
  c.txt_bezel_v->setAlignment(Qt::AlignCenter);
  f->setEnabled(false);
}

// The audio choices of the dual and quad modes (sharing one place), the audio
// EDID, and the aspect ratio with the HDCP button.
void build_audio_frames(MainControls& c, QWidget* form) {
  c.fra_dual_a = frame(form, QStringLiteral("fra_dual_a"), QStringLiteral("Dual A Audio"), 90, 2430, 1785, 735);
  c.opt_da[1] = option(c.fra_dual_a, indexed("opt_da", 1), QStringLiteral("Left"), 120, 300, 735, 315);
  c.opt_da[2] = option(c.fra_dual_a, indexed("opt_da", 2), QStringLiteral("Right"), 900, 300, 735, 315);

  c.fra_dual_b = frame(form, QStringLiteral("fra_dual_b"), QStringLiteral("Dual B Audio"), 90, 3270, 1785, 735);
  c.opt_db[1] = option(c.fra_dual_b, indexed("opt_db", 1), QStringLiteral("Left"), 120, 300, 735, 315);
  c.opt_db[2] = option(c.fra_dual_b, indexed("opt_db", 2), QStringLiteral("Right"), 900, 300, 735, 315);

  c.fra_quad = frame(form, QStringLiteral("fra_quad"), QStringLiteral("Quad Audio"), 90, 2430, 1785, 1575);
  static const int kQuadPlace[4][2] = {{210, 390}, {990, 390}, {210, 1050}, {990, 1050}};
  for (int i = 1; i <= 4; ++i)
    c.opt_quad[i] = option(c.fra_quad, indexed("opt_quad", i), QStringLiteral("Q%1").arg(i),
                           kQuadPlace[i - 1][0], kQuadPlace[i - 1][1], 675, 315);
  c.fra_quad->hide();

  c.fra_audio = frame(form, QStringLiteral("fra_audio"), QStringLiteral("Audio EDID"), 1980, 4080, 2505, 1035);
  static const struct { const char* caption; int left, top, width; } kAudio[] = {
      {"2CH", 90, 270, 735}, {"6CH", 870, 270, 735}, {"8CH", 1680, 270, 735},
      {"Bitstream", 90, 630, 1500}, {"HD", 1680, 630, 735}};
  for (int i = 0; i <= 4; ++i)
    c.opt_audio[i] = option(c.fra_audio, indexed("opt_audio", i), QString::fromLatin1(kAudio[i].caption),
                            kAudio[i].left, kAudio[i].top, kAudio[i].width, 315);

  c.lab_aspect = label(form, QStringLiteral("lab_aspect"), QStringLiteral("Aspect\nRatio"), 150, 4110, 795, 495);
  c.lab_aspect->setAccessibleName(QStringLiteral("Aspect Ratio"));
  c.cmd_hdcp = button(form, QStringLiteral("cmd_hdcp"), QStringLiteral("HDCP"), 1020, 4170, 825, 405);
  c.cbo_aspect = list(form, QStringLiteral("cbo_aspect"), QStringLiteral("Aspect Ratio"), 90, 4650, 1755, 375);
  c.lab_aspect->setBuddy(c.cbo_aspect);

  for (QWidget* w : {static_cast<QWidget*>(c.fra_dual_a), static_cast<QWidget*>(c.fra_dual_b),
                     static_cast<QWidget*>(c.fra_quad), static_cast<QWidget*>(c.fra_audio),
                     static_cast<QWidget*>(c.cmd_hdcp), static_cast<QWidget*>(c.cbo_aspect)})
    w->setEnabled(false);
}

void build_presets(MainControls& c, QWidget* form) {
  QGroupBox* f = frame(form, QStringLiteral("fra_recall_save"), QStringLiteral("Recall / Save"),
                       60, 5190, 7755, 1095);
  c.fra_recall_save = f;
  static const int kRecallLeft[] = {90, 1020, 1950, 2880};
  static const int kSaveLeft[] = {3960, 4890, 5820, 6750};
  for (int i = 1; i <= 4; ++i) {
    c.cmd_recall[i] = state_button(f, indexed("cmd_recall", i), QStringLiteral("Recall %1").arg(i),
                                   kRecallLeft[i - 1], 420, 915, 435);
    c.cmd_save[i] = state_button(f, indexed("cmd_save", i), QStringLiteral("Save %1").arg(i),
                                 kSaveLeft[i - 1], 420, 915, 435);
  }
  f->setEnabled(false);
}

}  // namespace quadrel::layout
