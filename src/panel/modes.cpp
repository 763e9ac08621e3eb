#include "panel/modes.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include "ui/control_kinds.h"
#include "ui/widgets.h"

namespace quadrel {

namespace {

constexpr int kMatrix = 1;
constexpr int kDualPop = 2;
constexpr int kTvWall = 3;
constexpr int kDualPip = 4;
constexpr int kQuad = 5;

// The four picture rows' labels, sliders and number boxes, one array per setting.
template <typename Fn>
void for_each_picture_row(MainControls& c, int first_row, Fn&& fn) {
  for (int row = first_row; row <= 4; ++row) {
    fn(c.lab_con[row], c.hsr_con[row], c.txt_con[row]);
    fn(c.lab_bri[row], c.hsr_bri[row], c.txt_bri[row]);
    fn(c.lab_sat[row], c.hsr_sat[row], c.txt_sat[row]);
    fn(c.lab_hue[row], c.hsr_hue[row], c.txt_hue[row]);
  }
}

void set_enabled(QWidget* w, bool on) {
  if (w) w->setEnabled(on);
}

void set_shown(QWidget* w, bool on) {
  if (w) w->setVisible(on);
}

QString latin1(std::string_view text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

Modes::Modes(const PanelContext& context) : Piece(context) {
  for (int i = 1; i <= 5; ++i) {
    if (QPushButton* button = c_.cmd_mode[i])
      QObject::connect(button, &QPushButton::clicked, &ctx_, [this, i] { cmd_mode_Click(i); });
  }
  on_change(Aspect::Mode, [this](int) { rx_mod(); });
  // Switched on, the audio and bezel frames follow the display mode; in
  // standby they are off like every group the power governs.
  on_change(Aspect::Power, [this](int) { settle_mode_frames(); });
  QObject::connect(&device_, &Device::mode_change_started, &ctx_, [this] { mode_change_started(); });
  QObject::connect(&device_, &Device::mode_change_finished, &ctx_, [this] { mode_change_finished(); });
}

void Modes::cmd_mode_Click(int index) { device_.set_mode(index); }

void Modes::mode_change_started() {
  for (int i = 1; i <= 5; ++i) {
    show_current(c_.cmd_mode[i], false);
    c_.cmd_mode[i]->setEnabled(false);
  }
}

void Modes::mode_change_finished() {
  for (int i = 1; i <= 5; ++i) c_.cmd_mode[i]->setEnabled(true);
}

void Modes::apply_captions(int mode, const ModeNames& look) {
  struct Row {
    QGroupBox* frame;
    std::array<QLabel*, 5>& labels;
    std::array<QScrollBar*, 5>& sliders;
    std::array<QLineEdit*, 5>& boxes;
  };
  const Row rows[] = {{c_.fra_con, c_.lab_con, c_.hsr_con, c_.txt_con},
                      {c_.fra_bri, c_.lab_bri, c_.hsr_bri, c_.txt_bri},
                      {c_.fra_sat, c_.lab_sat, c_.hsr_sat, c_.txt_sat},
                      {c_.fra_hue, c_.lab_hue, c_.hsr_hue, c_.txt_hue}};
  for (int n = 1; n <= 4; ++n) {
    const QString channel = latin1(look.outputs[n - 1]);
    const QString output = QStringLiteral("Output %1").arg(QChar(u'A' + (n - 1)));
    set_text(c_.cmd_out[n], channel);
    // A button without a caption is not used in this mode; it says so.
    set_accessible_name(c_.cmd_out[n], channel.isEmpty() ? output + QStringLiteral(", not used") : channel);
    // The map cells are named after their channel; outputs A to D keep their names.
    const QString block = mode == kMatrix || channel.isEmpty() ? output : channel;
    for (int in = 1; in <= 4; ++in)
      set_accessible_name(c_.lab_out_in[n][in], QStringLiteral("%1, input %2").arg(block).arg(in));

    const QString caption = latin1(look.picture_rows[n - 1]);
    for (const Row& row : rows) {
      set_text(row.labels[n], caption);
      const QString what = caption.isEmpty()
                               ? QStringLiteral("%1 row %2, not used").arg(row.frame->title()).arg(n)
                               : QStringLiteral("%1 %2").arg(row.frame->title(), caption);
      set_accessible_name(row.sliders[n], what);
      set_accessible_name(row.boxes[n], what + QStringLiteral(" value"));
    }
  }
}

void Modes::set_dual_captions(int mode) {
  const auto& sources = mode_names(mode).sources;
  set_text(c_.opt_da[1], latin1(sources[0]));
  set_text(c_.opt_db[1], latin1(sources[0]));
  set_text(c_.opt_da[2], latin1(sources[1]));
  set_text(c_.opt_db[2], latin1(sources[1]));
}

void Modes::rx_mod() {
  const int m = device_.state().mode.value_or(kMatrix);
  for (int i = 1; i <= 5; ++i) show_current(c_.cmd_mode[i], i == m);

  apply_captions(m, mode_names(m));
  switch (m) {
    case kMatrix:
      // Only the first picture row, the whole picture, stays live.
      for_each_picture_row(c_, 2, [](QLabel*, QScrollBar* slider, QLineEdit* box) {
        box->clear();
        slider->setEnabled(false);
      });
      break;
    case kDualPop:
    case kDualPip:
      set_shown(c_.fra_dual_a, true);
      set_shown(c_.fra_dual_b, true);
      set_shown(c_.fra_quad, false);
      break;
    case kTvWall:
      for (int n = 1; n <= 4; ++n) show_current(c_.cmd_out[n], false);
      break;
    case kQuad:
      set_shown(c_.fra_dual_a, false);
      set_shown(c_.fra_dual_b, false);
      set_shown(c_.fra_quad, true);
      break;
    default:
      break;
  }
  settle_mode_frames();

  if (m != kMatrix) {
    for_each_picture_row(c_, 1, [](QLabel*, QScrollBar* slider, QLineEdit*) { slider->setEnabled(true); });
  }

  const bool dual_pip = m == kDualPip;
  set_shown(c_.lab_pip, dual_pip);
  set_shown(c_.sha_pip, dual_pip);
}

void Modes::settle_mode_frames() {
  const bool powered = device_.pwr_state() == 1;
  const int disp_mode = device_.disp_mode();
  const bool dual = powered && disp_mode == kDualPop;
  if (dual) {
    set_dual_captions(device_.dual_kind() == 2 ? kDualPip : kDualPop);
  }
  set_enabled(c_.fra_dual_a, dual);
  set_enabled(c_.fra_dual_b, dual);
  set_enabled(c_.fra_bezel, powered && disp_mode == kTvWall);
  set_enabled(c_.fra_quad, powered && disp_mode == kQuad);
}

}  // namespace quadrel
