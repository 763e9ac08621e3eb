#include "panel/reset_reboot.h"

#include <QLabel>
#include <QPushButton>

#include "ui/widgets.h"

namespace quadrel {

namespace {
constexpr const char* kReconnectNotice = "Need to re-connect Ethernet after Corvane re-boots ready !";
}  // namespace

ResetReboot::ResetReboot(const PanelContext& context) : Piece(context) {
  QObject::connect(c_.cmd_fact_reset, &QPushButton::clicked, &ctx_, [this] { cmd_fact_reset_Click(); });
  on_change(Aspect::FactoryReset, [this](int) { c_.cmd_fact_reset->setEnabled(true); });
  QObject::connect(&device_, &Device::restarting, &ctx_, [this] { ethernet_reboot(); });
}

void ResetReboot::cmd_fact_reset_Click() {
  if (device_.link_open()) c_.cmd_fact_reset->setEnabled(false);
  device_.factory_reset();
}

// Tells the user, and puts the map back into its look before the first
// refresh; the device closes the connection afterwards.
void ResetReboot::ethernet_reboot() {
  notifier_.message(kReconnectNotice, MessageIcon::Warning);
  c_.lab_pip->hide();
  c_.sha_pip->hide();
  c_.lab_lab_input->hide();
  c_.sha_lab_in->hide();
  c_.img_start->show();
  c_.cmd_keypad->hide();
}

}  // namespace quadrel
