#include "panel/serial_control.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QPushButton>
#include <algorithm>

#include "ui/control_kinds.h"
#include "ui/widgets.h"

namespace quadrel {

SerialControl::SerialControl(const PanelContext& context) : Piece(context) {
  // The closed list reads "COM2: ttyACM1" whole: it may be condensed a little
  // more than the other lists.
  if (auto* list = qobject_cast<ChoiceList*>(c_.cbo_com)) list->set_least_squeeze(0.72);
  // A choice in the list (also of the port already shown) reopens the port.
  QObject::connect(c_.cbo_com, &QComboBox::activated, &ctx_, [this](int) { cbo_com_Click(); });
  QObject::connect(c_.cmd_conn, &QPushButton::clicked, &ctx_, [this] { cmd_conn_Click(); });
  QObject::connect(c_.cmd_disconn, &QPushButton::clicked, &ctx_, [this] { cmd_disconn_Click(); });
  // A port that failed has been closed by the link: show it as disconnected.
  QObject::connect(&device_, &Device::link_ended, &ctx_, [this] {
    if (device_.iface() == 0) show_open(false);
  });
}

void SerialControl::show_open(bool open) {
  set_back_color(c_.cmd_conn, open ? colour::routed_green : colour::idle_grey);
  set_back_color(c_.cmd_disconn, open ? colour::idle_grey : colour::busy_red);
}

void SerialControl::set_comm() {
  const SerialPortMap map = port_map();
  const int com_port = ps_.com_port;
  const QString device = com_port >= 1 && com_port <= 9 ? map[com_port - 1] : QString();
  label_port_list(map);
  const QString com = QStringLiteral("COM%1").arg(com_port);
  const QString name = device.isEmpty() ? com : QStringLiteral("%1 (%2)").arg(com, device);
  QString error;
  if (!device_.open_serial(device, name, &error)) {
    const QString why = device.isEmpty() ? QStringLiteral("No serial device is present for %1.").arg(com)
                                         : serial_open_advice(device, error);
    show_open(false);
    // Told from the event loop once the events pending now are handled: at
    // start-up over the shown window. The title names the port this run uses:
    // the device (a --serial one too), or the COM number that has none.
    notifier_.message_titled(
        ((device.isEmpty() ? com : device) + QStringLiteral(" \u2013 ") + QCoreApplication::applicationName()).toStdString(),
        (com + QStringLiteral(": Fail !\n") + why).toStdString(), MessageIcon::None);
    return;
  }
  show_open(true);
}

void SerialControl::set_run_device(int com_port, const QString& device) {
  run_port_ = com_port;
  run_device_ = device;
}

SerialPortMap SerialControl::port_map() const {
  SerialPortMap map = serial_port_map(ports_folder_);
  if (run_port_ >= 1 && run_port_ <= 9) map[run_port_ - 1] = run_device_;
  return map;
}

QString SerialControl::device_of(int com_port) const {
  return com_port >= 1 && com_port <= 9 ? port_map()[com_port - 1] : QString();
}

void SerialControl::label_port_list() { label_port_list(port_map()); }

void SerialControl::label_port_list(const SerialPortMap& map) {
  // Each entry reads "COM1: ttyUSB0" (the device's own name, short enough for
  // the closed box); its tip and the box's tip give the whole path, and for a
  // stable adapter name the kernel's device too.
  for (int i = 0; i < c_.cbo_com->count() && i < static_cast<int>(map.size()); ++i) {
    const QString com = QStringLiteral("COM%1:").arg(i + 1);
    const QString& device = map[i];
    c_.cbo_com->setItemText(i, device.isEmpty() ? com : com + QLatin1Char(' ') + serial_device_label(device));
    QString tip = device.isEmpty() ? QStringLiteral("%1 no serial device").arg(com) : com + QLatin1Char(' ') + device;
    const QString target = QFileInfo(device).canonicalFilePath();
    if (!device.isEmpty() && !target.isEmpty() && target != device) tip += QStringLiteral(" (%1)").arg(target);
    c_.cbo_com->setItemData(i, tip, Qt::ToolTipRole);
  }
  // The open list is as wide as its longest entry.
  c_.cbo_com->view()->setMinimumWidth(c_.cbo_com->view()->sizeHintForColumn(0) + 24);
  c_.cbo_com->setToolTip(c_.cbo_com->itemData(std::max(c_.cbo_com->currentIndex(), 0), Qt::ToolTipRole).toString());
}

void SerialControl::cbo_com_Click() {
  ps_.com_port = c_.cbo_com->currentIndex() + 1;
  if (ps_.send_enable) set_comm();
}

void SerialControl::cmd_conn_Click() { set_comm(); }

void SerialControl::cmd_disconn_Click() {
  if (!device_.serial_open()) return;
  show_open(false);
  device_.close_serial();
}

}  // namespace quadrel
