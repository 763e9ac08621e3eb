#include "panel/modes.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include "panel/routing.h"
#include "shell/control_kinds.h"
#include "shell/widgets.h"

namespace quadrel {

namespace {

constexpr int kMatrix = 1;
constexpr int kDualPop = 2;
constexpr int kTvWall = 3;
constexpr int kDualPip = 4;
constexpr int kQuad = 5;

constexpr int kDualKindPop = 1;
constexpr int kDualKindPip = 2;

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

}  // namespace

Modes::Modes(FrmMain& main) : Piece(main) {
  for (int i = 1; i <= 5; ++i) {
    if (QPushButton* button = c_.cmd_mode[i])
      QObject::connect(button, &QPushButton::clicked, &ctx_, [this, i] { cmd_mode_Click(i); });
  }
  on_reply(code::MOD, [this] { rx_mod(); });
}

const Modes::ModeLook& Modes::look_of(int mode) {
  static const std::array<ModeLook, 6> looks{{
      {{"", "", "", ""}, {"", "", "", ""}},                          // unused
      {{"A", "B", "C", "D"}, {"ALL", "", "", ""}},                   // Matrix
      {{"AL", "AR", "BL", "BR"}, {"AL", "AR", "BL", "BR"}},          // Dual PoP
      {{"Wall", "", "", ""}, {"Out A", "Out B", "Out C", "Out D"}},  // TV Wall
      {{"AM", "AS", "BM", "BS"}, {"AM", "AS", "BM", "BS"}},          // Dual PiP
      {{"Q1", "Q2", "Q3", "Q4"}, {"Q1", "Q2", "Q3", "Q4"}},          // Quad
  }};
  return looks[static_cast<std::size_t>(mode)];
}

void Modes::cmd_mode_Click(int index) {
  // No second mode change can start from the buttons while this one runs.
  for (int i = 1; i <= 5; ++i) {
    show_current(c_.cmd_mode[i], false);
    c_.cmd_mode[i]->setEnabled(false);
  }
  for (int n = 1; n <= 4; ++n) {
    show_current(c_.cmd_out[n], false);
    show_current(c_.cmd_recall[n], false);
    show_current(c_.cmd_save[n], false);
  }

  if (index >= kMatrix && index <= kQuad) {
    link_.tx_cmd(cmd::set(code::MOD, index));
    // The device may answer only after it has recomposed its outputs; such a
    // late reply comes in through the receive path and sets the flag.
    if (!rx_flag()) link_.wait_until([this] { return rx_flag(); }, kLateReplyMs);

    if (rx_flag()) {
      if (index == kTvWall) {
        link_.tx_cmd(cmd::set(code::OUT, 1));
        if (rx_flag()) link_.tx_cmd(cmd::query(code::INP));
      } else {
        main_.routing().map_refresh();
      }
      if (rx_flag()) {
        main_.cmd_pic_refresh_Click();
        if (rx_flag()) link_.tx_cmd(cmd::query(code::ASP));
      }
    }
  }

  if (index != kTvWall && ps_.sel_out >= 1 && ps_.sel_out <= 4)
    show_current(c_.cmd_out[ps_.sel_out], true);
  for (int i = 1; i <= 5; ++i) c_.cmd_mode[i]->setEnabled(true);
}

void Modes::apply_captions(int mode, const ModeLook& look) {
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
    const QString channel = QString::fromLatin1(look.channels[n - 1]);
    const QString output = QStringLiteral("Output %1").arg(QChar(u'A' + (n - 1)));
    set_text(c_.cmd_out[n], channel);
    // A button without a caption is not used in this mode; it says so.
    set_accessible_name(c_.cmd_out[n], channel.isEmpty() ? output + QStringLiteral(", not used") : channel);
    // The map cells are named after their channel; outputs A to D keep their names.
    const QString block = mode == kMatrix || channel.isEmpty() ? output : channel;
    for (int in = 1; in <= 4; ++in)
      set_accessible_name(c_.lab_out_in[n][in], QStringLiteral("%1, input %2").arg(block).arg(in));

    const QString caption = QString::fromLatin1(look.picture_rows[n - 1]);
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

void Modes::set_dual_captions(const char* first, const char* second) {
  set_text(c_.opt_da[1], QString::fromLatin1(first));
  set_text(c_.opt_db[1], QString::fromLatin1(first));
  set_text(c_.opt_da[2], QString::fromLatin1(second));
  set_text(c_.opt_db[2], QString::fromLatin1(second));
}

void Modes::rx_mod() {
  const std::string line = reply();
  const auto mode = reading::mode(line);
  // A report without a valid mode leaves the window as it is.
  if (!mode) return;
  const int m = *mode;

  ps_.disp_mode = m;
  for (int i = 1; i <= 5; ++i) show_current(c_.cmd_mode[i], i == m);

  // The routing colours come back with the routing queries that follow.
  for (int ch = 1; ch <= 4; ++ch) {
    for (int in = 1; in <= 4; ++in) {
      c_.sha_out_in[ch][in]->set_fill(colour::idle_grey);
      set_back_color(c_.lab_out_in[ch][in], colour::idle_grey);
      set_accessible_description(c_.lab_out_in[ch][in], QString());
    }
  }

  apply_captions(m, look_of(m));
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
      ps_.dual_kind = m == kDualPip ? kDualKindPip : kDualKindPop;
      ps_.disp_mode = kDualPop;
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

  if (ps_.disp_mode == kDualPop || ps_.disp_mode == kTvWall || ps_.disp_mode == kQuad) {
    for_each_picture_row(c_, 1, [](QLabel*, QScrollBar* slider, QLineEdit*) {
      slider->setEnabled(true);
    });
  }

  const bool dual_pip = ps_.disp_mode == kDualPop && ps_.dual_kind == kDualKindPip;
  set_shown(c_.lab_pip, dual_pip);
  set_shown(c_.sha_pip, dual_pip);
}

bool Modes::is_mode_frame(const QWidget* w) const {
  return w && (w == c_.fra_dual_a || w == c_.fra_dual_b || w == c_.fra_bezel || w == c_.fra_quad);
}

void Modes::settle_mode_frames() {
  const bool powered = ps_.pwr_state == 1;
  const bool dual = powered && ps_.disp_mode == kDualPop;
  if (dual) {
    if (ps_.dual_kind == kDualKindPip)
      set_dual_captions("Main", "Sub");
    else
      set_dual_captions("Left", "Right");
  }
  set_enabled(c_.fra_dual_a, dual);
  set_enabled(c_.fra_dual_b, dual);
  set_enabled(c_.fra_bezel, powered && ps_.disp_mode == kTvWall);
  set_enabled(c_.fra_quad, powered && ps_.disp_mode == kQuad);
}

}  // namespace quadrel
