#include "windows/frm_pip.h"

#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

#include "link/device.h"
#include "ui/control_kinds.h"
#include "ui/panel_state.h"
#include "ui/widgets.h"

namespace quadrel {

namespace {
const std::array<const char*, 4> kCorners{"upper left", "upper right", "lower right", "lower left"};
const std::array<const char*, 4> kSizes{"Large", "Medium", "Small", "Off"};
}  // namespace

FrmPip::FrmPip(QWidget* owner, Device& device, PanelState& view)
    : ToolWindow(owner, QStringLiteral("DUAL PiP"), kClientWidth, kClientHeight), device_(device), ps_(view) {
  setObjectName(QStringLiteral("frm_pip"));
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, colour::idle_grey);
  setPalette(palette);
  const QFont verdana(QStringLiteral("Verdana"));

  cmd_refresh = new QPushButton(this);
  cmd_refresh->setObjectName(QStringLiteral("cmd_refresh"));
  cmd_refresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
  cmd_refresh->setAccessibleName(QStringLiteral("Refresh PiP settings"));
  cmd_refresh->setToolTip(QStringLiteral("Refresh"));
  place(cmd_refresh, 60, 60, 345, 1665);

  lab_a = new QLabel(QStringLiteral("PiP A"), this);
  lab_a->setFont(verdana);
  place(lab_a, 840, 0, 615, 225);
  lab_b = new QLabel(QStringLiteral("PiP B"), this);
  lab_b->setFont(verdana);
  place(lab_b, 2340, 0, 615, 225);

  cmd_a_swap = new QPushButton(QStringLiteral("SWAP"), this);
  cmd_a_swap->setObjectName(QStringLiteral("cmd_a_swap"));
  cmd_a_swap->setAccessibleName(QStringLiteral("SWAP PiP A"));
  cmd_a_swap->setFont(verdana);
  place(cmd_a_swap, 480, 240, 1275, 315);
  cmd_b_swap = new QPushButton(QStringLiteral("SWAP"), this);
  cmd_b_swap->setObjectName(QStringLiteral("cmd_b_swap"));
  cmd_b_swap->setAccessibleName(QStringLiteral("SWAP PiP B"));
  cmd_b_swap->setFont(verdana);
  place(cmd_b_swap, 1980, 240, 1275, 315);

  cbo_a_size = new ChoiceList(this);
  cbo_a_size->setObjectName(QStringLiteral("cbo_a_size"));
  cbo_a_size->setAccessibleName(QStringLiteral("PiP A size"));
  cbo_a_size->setGeometry(twips(480), twips(630), twips(1275), cbo_a_size->sizeHint().height());
  cbo_b_size = new ChoiceList(this);
  cbo_b_size->setObjectName(QStringLiteral("cbo_b_size"));
  cbo_b_size->setAccessibleName(QStringLiteral("PiP B size"));
  cbo_b_size->setGeometry(twips(1980), twips(630), twips(1275), cbo_b_size->sizeHint().height());
  lab_a->setBuddy(cbo_a_size);
  lab_b->setBuddy(cbo_b_size);

  sha_a = new ShapeWidget(ShapeWidget::Kind::RoundedRectangle, this);
  place(sha_a, 510, 1080, 1215, 645);
  sha_b = new ShapeWidget(ShapeWidget::Kind::RoundedRectangle, this);
  place(sha_b, 2010, 1080, 1185, 645);
  for (ShapeWidget* screen : {sha_a, sha_b}) screen->set_border(QColor(64, 64, 64));

  const std::array<int, 4> a_left{630, 1290, 1290, 630};
  const std::array<int, 4> b_left{2130, 2760, 2760, 2130};
  const std::array<int, 4> top{1140, 1140, 1440, 1440};
  for (int n = 0; n < 4; ++n) {
    cmd_a_pos[n] = new StateButton(QString(), this);
    cmd_a_pos[n]->setObjectName(QStringLiteral("cmd_a_pos_%1").arg(n));
    cmd_a_pos[n]->setAccessibleName(QStringLiteral("PiP A %1").arg(QLatin1String(kCorners[n])));
    place(cmd_a_pos[n], a_left[n], top[n], 315, 225);
    cmd_b_pos[n] = new StateButton(QString(), this);
    cmd_b_pos[n]->setObjectName(QStringLiteral("cmd_b_pos_%1").arg(n));
    cmd_b_pos[n]->setAccessibleName(QStringLiteral("PiP B %1").arg(QLatin1String(kCorners[n])));
    place(cmd_b_pos[n], b_left[n], top[n], 315, 225);
    connect(cmd_a_pos[n], &QPushButton::clicked, this, [this, n] { cmd_a_pos_Click(n); });
    connect(cmd_b_pos[n], &QPushButton::clicked, this, [this, n] { cmd_b_pos_Click(n); });
  }

  connect(cmd_refresh, &QPushButton::clicked, this, [this] { cmd_refresh_Click(); });
  connect(cmd_a_swap, &QPushButton::clicked, this, [this] { cmd_a_swap_Click(); });
  connect(cmd_b_swap, &QPushButton::clicked, this, [this] { cmd_b_swap_Click(); });
  // A user's choice; a selection made by a reply raises no choice and sends nothing.
  connect(cbo_a_size, &QComboBox::activated, this, [this] { cbo_a_size_Click(); });
  connect(cbo_b_size, &QComboBox::activated, this, [this] { cbo_b_size_Click(); });
}

void FrmPip::fill_lists() {
  for (QComboBox* list : {cbo_a_size, cbo_b_size}) {
    const QSignalBlocker block(list);
    list->clear();
    for (const char* size : kSizes) list->addItem(QLatin1String(size));
    list->setCurrentIndex(-1);
  }
}

void FrmPip::reset() {
  fill_lists();
  cbo_a_size->setEnabled(true);
  cbo_b_size->setEnabled(true);
  for (int n = 0; n < 4; ++n) {
    show_current(cmd_a_pos[n], false);
    show_current(cmd_b_pos[n], false);
  }
}

void FrmPip::cmd_refresh_Click() {
  // Read in the Dual PiP mode only.
  device_.dual_pip_refresh();
}

QCoro::Task<> FrmPip::size_click(QComboBox* list, int pip) {
  if (!ps_.send_enable) co_return;
  const int index = list->currentIndex();
  if (index < 0) co_return;
  const QPointer<FrmPip> self(this);
  list->setEnabled(false);
  co_await device_.set(Aspect::PipSize, pip, index);
  if (self) list->setEnabled(true);
}

void FrmPip::cbo_a_size_Click() { size_click(cbo_a_size, 1); }
void FrmPip::cbo_b_size_Click() { size_click(cbo_b_size, 2); }

void FrmPip::cmd_a_pos_Click(int index) {
  if (ps_.send_enable) device_.set(Aspect::PipCorner, 1, index);
}

void FrmPip::cmd_b_pos_Click(int index) {
  if (ps_.send_enable) device_.set(Aspect::PipCorner, 2, index);
}

void FrmPip::cmd_a_swap_Click() {
  if (ps_.send_enable) device_.set(Aspect::PipSwap, 0, 1);
}

void FrmPip::cmd_b_swap_Click() {
  if (ps_.send_enable) device_.set(Aspect::PipSwap, 0, 2);
}

}  // namespace quadrel
