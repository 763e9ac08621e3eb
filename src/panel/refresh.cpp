#include "panel/refresh.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/widgets.h"

namespace quadrel {

Refresh::Refresh(const PanelContext& context) : Piece(context) {
  if (c_.cmd_refresh)
    QObject::connect(c_.cmd_refresh, &QPushButton::clicked, &ctx_, [this] { cmd_refresh_Click(); });
  if (c_.cmd_ver) QObject::connect(c_.cmd_ver, &QPushButton::clicked, &ctx_, [this] { cmd_ver_Click(); });
  on_change(Aspect::Version, [this](int which) { rx_ver(which); });
}

QCoro::Task<> Refresh::cmd_refresh_Click() {
  const QPointer<QObject> alive = guard();
  if (c_.cmd_refresh) {
    c_.cmd_refresh->setEnabled(false);
    set_back_color(c_.cmd_refresh, colour::olive);
  }
  // Uncovers what is hidden until the first refresh, even when the link is closed.
  if (c_.img_start) c_.img_start->hide();
  if (c_.cmd_keypad) c_.cmd_keypad->show();
  if (c_.lab_lab_input) c_.lab_lab_input->show();
  if (c_.sha_lab_in) c_.sha_lab_in->show();

  // The picture rows are read in the tall size, where they show.
  co_await device_.refresh(ps_.advanced_open);
  if (!alive) co_return;

  if (c_.cmd_refresh) {
    set_back_color(c_.cmd_refresh, colour::idle_grey);
    c_.cmd_refresh->setEnabled(true);
  }
}

void Refresh::cmd_ver_Click() { device_.read_versions(); }

void Refresh::rx_ver(int which) {
  const auto& version = which == 1 ? device_.state().version : device_.state().version2;
  if (version) set_text(which == 1 ? c_.txt_ver : c_.txt_ver2, QString::fromStdString(*version));
}

}  // namespace quadrel
