#include "windows/network_panel.h"

#include <QLineEdit>
#include <QPushButton>

#include "ui/widgets.h"

namespace quadrel {

NetworkPanel::NetworkPanel(const PanelContext& context) : Piece(context) {
  if (c_.cmd_advance) QObject::connect(c_.cmd_advance, &QPushButton::clicked, &ctx_, [this] { cmd_advance_Click(); });
  if (c_.cmd_get_ip) QObject::connect(c_.cmd_get_ip, &QPushButton::clicked, &ctx_, [this] { cmd_get_ip_Click(); });
  on_change(Aspect::Network, [this](int which) {
    const DeviceState& s = device_.state();
    const std::optional<std::string>& answer = which == 0 ? s.ip : which == 1 ? s.mask : s.gateway;
    if (QLineEdit* box = box_of(which); box && answer)
      box->setText(QString::fromLatin1(answer->data(), static_cast<qsizetype>(answer->size())));
  });
}

QLineEdit* NetworkPanel::box_of(int which) const {
  return which == 0 ? c_.txt_get_ip : which == 1 ? c_.txt_get_mask : c_.txt_get_gate;
}

void NetworkPanel::cmd_advance_Click() {
  ps_.advanced_open = !ps_.advanced_open;
  host_.set_outer_height(ps_.advanced_open ? kAdvancedHeight : kSmallHeight);
}

QCoro::Task<> NetworkPanel::cmd_get_ip_Click() {
  const QPointer<QObject> alive = guard();
  if (c_.cmd_get_ip) {
    c_.cmd_get_ip->setEnabled(false);
    set_back_color(c_.cmd_get_ip, colour::olive);
  }
  for (int which = 0; which < 3; ++which)
    if (QLineEdit* box = box_of(which)) box->clear();
  co_await device_.query_network();
  if (alive && c_.cmd_get_ip) {
    // Both interfaces can answer the query, whichever is chosen by now.
    set_back_color(c_.cmd_get_ip, colour::idle_grey);
    c_.cmd_get_ip->setEnabled(true);
  }
}

}  // namespace quadrel
