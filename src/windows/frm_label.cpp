#include "windows/frm_label.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include "link/device.h"
#include "ui/panel_host.h"
#include "ui/panel_state.h"
#include "ui/widgets.h"

namespace quadrel {

FrmLabel::FrmLabel(QWidget* owner, Device& device, PanelState& view, PanelHost& host)
    : ToolWindow(owner, QStringLiteral("Input Labels"), kClientWidth, kClientHeight),
      device_(device),
      ps_(view),
      host_(host) {
  setObjectName(QStringLiteral("frm_label"));
  const QFont verdana(QStringLiteral("Verdana"));
  QFont verdana_bold(QStringLiteral("Verdana"));
  verdana_bold.setBold(true);
  const QFont courier(QStringLiteral("Courier New"));

  cmd_refresh = new QPushButton(this);
  cmd_refresh->setObjectName(QStringLiteral("cmd_refresh"));
  cmd_refresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
  cmd_refresh->setAccessibleName(QStringLiteral("Refresh input labels"));
  cmd_refresh->setToolTip(QStringLiteral("Refresh"));
  place(cmd_refresh, 60, 60, 405, 1995);

  opt_on_off[1] = new QRadioButton(QStringLiteral("ON"), this);
  opt_on_off[1]->setObjectName(QStringLiteral("opt_on_off_1"));
  opt_on_off[1]->setAccessibleName(QStringLiteral("Input labels on"));
  place(opt_on_off[1], 1050, 60, 615, 345);
  opt_on_off[0] = new QRadioButton(QStringLiteral("OFF"), this);
  opt_on_off[0]->setObjectName(QStringLiteral("opt_on_off_0"));
  opt_on_off[0]->setAccessibleName(QStringLiteral("Input labels off"));
  place(opt_on_off[0], 1800, 60, 675, 345);
  for (QRadioButton* option : opt_on_off) option->setFont(verdana);

  for (int k = 1; k <= 4; ++k) {
    const int top = 480 + 420 * (k - 1);
    auto* square = new ShapeWidget(ShapeWidget::Kind::RoundedRectangle, this);
    square->set_fill(QColor(176, 176, 176));
    square->set_border(QColor(112, 112, 112));
    place(square, 540, top, 315, 315);
    sha_lab_in[k - 1] = square;

    auto* number = new QLabel(QString::number(k), this);
    number->setFont(verdana_bold);
    number->setAccessibleName(QStringLiteral("Input %1").arg(k));
    place(number, 615, top + 15, 195, 255);
    lab_no[k - 1] = number;

    auto* box = new QLineEdit(this);
    box->setObjectName(QStringLiteral("txt_lab_in_%1").arg(k));
    box->setFont(courier);
    box->setAccessibleName(QStringLiteral("Label of input %1").arg(k));
    place(box, 960, top, 1695, 315);
    txt_lab_in[k] = box;
    number->setBuddy(box);
    connect(box, &QLineEdit::returnPressed, this, [this, k] { txt_lab_in_Enter(k); });
  }

  connect(cmd_refresh, &QPushButton::clicked, this, [this] { cmd_refresh_Click(); });
  for (int v = 0; v <= 1; ++v) {
    // A user's click; a selection made by a reply raises no click and sends nothing.
    connect(opt_on_off[v], &QRadioButton::clicked, this, [this, v] { opt_on_off_Click(v); });
  }
}

void FrmLabel::reset() {
  for (QRadioButton* option : opt_on_off) {
    const QSignalBlocker block(option);
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
  }
  for (int k = 1; k <= 4; ++k) txt_lab_in[k]->clear();
}

void FrmLabel::cmd_refresh_Click() {
  for (int k = 1; k <= 4; ++k) txt_lab_in[k]->clear();
  device_.label_in_refresh();
}

void FrmLabel::opt_on_off_Click(int index) {
  if (ps_.send_enable) device_.set(Aspect::LabelsShown, 0, index == 1 ? 1 : 0);
}

void FrmLabel::txt_lab_in_Enter(int index) {
  const QString typed = txt_lab_in[index]->text();
  // Only the printable ASCII characters of the text go out: the device knows no
  // others, and a line break pasted into the box must not end the command early
  // and start another one. The user is told what was left out.
  QStringList left_out;
  for (const char32_t ch : typed.toUcs4()) {
    if (ch >= 0x20 && ch < 0x7f) continue;
    QString shown;
    if (ch == u'\n' || ch == u'\r')
      shown = QStringLiteral("line break");
    else if (ch == u'\t')
      shown = QStringLiteral("tab");
    else if (QChar::isPrint(ch))
      shown = QLatin1Char('"') + QString::fromUcs4(&ch, 1) + QLatin1Char('"');
    else
      shown = QStringLiteral("U+%1").arg(static_cast<uint>(ch), 4, 16, QLatin1Char('0')).toUpper();
    if (!left_out.contains(shown)) left_out << shown;
  }
  if (!left_out.isEmpty())
    host_.notice(QStringLiteral("Label of input %1 sent without %2: the device takes plain "
                                              "ASCII characters only")
                                   .arg(index)
                                   .arg(left_out.join(QStringLiteral(", "))),
                               true);
  const QByteArray text = typed.toUtf8();
  device_.set_label(index, text.toStdString());
}

}  // namespace quadrel
