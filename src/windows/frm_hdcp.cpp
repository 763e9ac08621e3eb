#include "windows/frm_hdcp.h"

#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include "link/device.h"
#include "ui/panel_state.h"
#include "ui/widgets.h"

namespace quadrel {

namespace {
QLabel* make_label(QWidget* parent, const QString& text, int l, int t, int w, int h) {
  auto* label = new QLabel(text, parent);
  place(label, l, t, w, h);
  return label;
}

QWidget* make_pair_frame(QWidget* parent, const QString& name, int left) {
  auto* frame = new QWidget(parent);
  frame->setAccessibleName(name);
  place(frame, left, 690, 285, 645);
  return frame;
}

QRadioButton* make_option(QWidget* frame, const QString& name, int top) {
  auto* option = new QRadioButton(frame);
  option->setAccessibleName(name);
  option->setToolTip(name);
  place(option, 30, top, 225, 240);
  return option;
}
}  // namespace

FrmHdcp::FrmHdcp(QWidget* owner, Device& device, PanelState& view)
    : ToolWindow(owner, QStringLiteral("HDCP"), kClientWidth, kClientHeight), device_(device), ps_(view) {
  setObjectName(QStringLiteral("frm_hdcp"));

  cmd_refresh = new QPushButton(this);
  cmd_refresh->setObjectName(QStringLiteral("cmd_refresh"));
  cmd_refresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
  cmd_refresh->setAccessibleName(QStringLiteral("Refresh HDCP settings"));
  cmd_refresh->setToolTip(QStringLiteral("Refresh"));
  place(cmd_refresh, 60, 30, 345, 1485);

  fra_hdcp_input = new QGroupBox(QStringLiteral("HDCP Input"), this);
  fra_hdcp_input->setObjectName(QStringLiteral("fra_hdcp_input"));
  place(fra_hdcp_input, 450, 30, 2985, 1485);
  fra_hdcp_output = new QGroupBox(QStringLiteral("HDCP Output"), this);
  fra_hdcp_output->setObjectName(QStringLiteral("fra_hdcp_output"));
  place(fra_hdcp_output, 3540, 30, 4545, 1485);

  lab_hdcp_input[0] = make_label(fra_hdcp_input,
                                 QStringLiteral("IN1      IN2      IN3      IN4"), 570, 330, 2295, 315);
  lab_hdcp_input[1] = make_label(fra_hdcp_input, QStringLiteral("On"), 150, 690, 345, 285);
  lab_hdcp_input[2] = make_label(fra_hdcp_input, QStringLiteral("Off"), 150, 1050, 345, 285);
  lab_hdcp_output[0] = make_label(fra_hdcp_output,
                                  QStringLiteral("OUT A     OUT B     OUT C    OUT D"), 1230, 330, 3195, 225);
  lab_hdcp_output[1] = make_label(fra_hdcp_output, QStringLiteral("Follow Input"), 150, 690, 1155, 225);
  lab_hdcp_output[2] = make_label(fra_hdcp_output, QStringLiteral("Follow Output"), 150, 1050, 1275, 225);

  // One small frame per input and output, so the two buttons of each exclude
  // each other and the eight pairs are independent.
  const std::array<int, 4> in_left{570, 1200, 1860, 2520};
  for (int n = 1; n <= 4; ++n) {
    QWidget* frame = make_pair_frame(fra_hdcp_input, QStringLiteral("HDCP input %1").arg(n), in_left[n - 1]);
    fra_i[n - 1] = frame;
    opt_hdcp_in[n][0] = make_option(frame, QStringLiteral("HDCP input %1 on").arg(n), 30);
    opt_hdcp_in[n][1] = make_option(frame, QStringLiteral("HDCP input %1 off").arg(n), 360);
    opt_hdcp_in[n][0]->setObjectName(QStringLiteral("opt_hdcp_in%1_0").arg(n));
    opt_hdcp_in[n][1]->setObjectName(QStringLiteral("opt_hdcp_in%1_1").arg(n));
  }
  // `fra_i(7)` holds output A at the left, `fra_i(4)` output D at the right.
  const std::array<int, 4> out_left{1410, 2280, 3180, 3990};
  for (int n = 1; n <= 4; ++n) {
    const QChar letter = QChar('A' + n - 1);
    QWidget* frame =
        make_pair_frame(fra_hdcp_output, QStringLiteral("HDCP output %1").arg(letter), out_left[n - 1]);
    fra_i[8 - n] = frame;
    opt_hdcp_out[n][0] = make_option(frame, QStringLiteral("HDCP output %1 follow input").arg(letter), 30);
    opt_hdcp_out[n][1] = make_option(frame, QStringLiteral("HDCP output %1 follow output").arg(letter), 360);
    opt_hdcp_out[n][0]->setObjectName(QStringLiteral("opt_hdcp_out%1_0").arg(n));
    opt_hdcp_out[n][1]->setObjectName(QStringLiteral("opt_hdcp_out%1_1").arg(n));
  }

  connect(cmd_refresh, &QPushButton::clicked, this, [this] { cmd_refresh_Click(); });
  for (int n = 1; n <= 4; ++n) {
    for (int v = 0; v <= 1; ++v) {
      // A user's click; a selection made by a reply raises no click and sends nothing.
      connect(opt_hdcp_in[n][v], &QRadioButton::clicked, this, [this, n, v] { opt_hdcp_in_Click(n, v); });
      connect(opt_hdcp_out[n][v], &QRadioButton::clicked, this, [this, n, v] { opt_hdcp_out_Click(n, v); });
    }
  }
}

void FrmHdcp::reset() {
  for (int n = 1; n <= 4; ++n) {
    for (auto* group : {&opt_hdcp_in[n], &opt_hdcp_out[n]}) {
      for (QRadioButton* option : *group) {
        const QSignalBlocker block(option);
        option->setAutoExclusive(false);
        option->setChecked(false);
        option->setAutoExclusive(true);
      }
    }
  }
  fra_hdcp_input->setEnabled(true);
  fra_hdcp_output->setEnabled(true);
}

QCoro::Task<> FrmHdcp::cmd_refresh_Click() {
  const QPointer<FrmHdcp> self(this);
  fra_hdcp_input->setEnabled(false);
  fra_hdcp_output->setEnabled(false);
  co_await device_.hdcp_refresh();
  if (!self) co_return;
  fra_hdcp_input->setEnabled(true);
  fra_hdcp_output->setEnabled(true);
}

void FrmHdcp::opt_hdcp_in_Click(int input, int index) {
  if (ps_.send_enable) device_.set(Aspect::HdcpInput, input, index);
}

void FrmHdcp::opt_hdcp_out_Click(int output, int index) {
  if (ps_.send_enable) device_.set(Aspect::HdcpOutput, output, index);
}

}  // namespace quadrel
