#include "panel/serial_control.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "link/serial_link.h"
#include "link/serial_ports.h"
#include "shell/control_kinds.h"
#include "shell/widgets.h"

namespace quadrel {

SerialControl::SerialControl(FrmMain& main) : Piece(main) {
  // The closed list reads "COM2: ttyACM1" whole: it may be condensed a little
  // more than the other lists.
  if (auto* list = qobject_cast<ChoiceList*>(c_.cbo_com)) list->set_least_squeeze(0.72);
  // A choice in the list (also of the port already shown) reopens the port.
  QObject::connect(c_.cbo_com, &QComboBox::activated, c_.cbo_com, [this](int) { cbo_com_Click(); });
  QObject::connect(c_.cmd_conn, &QPushButton::clicked, c_.cmd_conn, [this] { cmd_conn_Click(); });
  QObject::connect(c_.cmd_disconn, &QPushButton::clicked, c_.cmd_disconn, [this] { cmd_disconn_Click(); });
  // A port that stops taking bytes has been closed by the link: show it as disconnected.
  link_.on_serial_lost = [this] {
    set_back_color(c_.cmd_conn, colour::idle_grey);
    set_back_color(c_.cmd_disconn, colour::busy_red);
  };
}

void SerialControl::set_comm() {
  LinkState& st = link_.state();
  SerialLink& port = main_.serial_port();
  if (st.serial_open) {
    port.close();
    st.serial_open = false;
  }

  const SerialPortMap map = port_map();
  const QString device = ps_.com_port >= 1 && ps_.com_port <= 9 ? map[ps_.com_port - 1] : QString();
  label_port_list(map);
  QString error;
  if (device.isEmpty() || !port.open(device, &error)) {
    port.close();
    const std::string com = "COM" + std::to_string(ps_.com_port);
    const QString why = device.isEmpty()
                            ? QStringLiteral("No serial device is present for %1.").arg(QString::fromStdString(com))
                            : serial_open_advice(device, error);
    set_back_color(c_.cmd_conn, colour::idle_grey);
    set_back_color(c_.cmd_disconn, colour::busy_red);
    st.serial_open = false;
    link_.pump_once();
    // The title names the port this run uses: the device (a --serial one
    // too), or the COM number that has none. The message is told from the
    // event loop: at start-up over the shown window, after a click or a key
    // once that has been handled.
    const QString title = (device.isEmpty() ? QString::fromStdString(com) : device) + QStringLiteral(" \u2013 ") +
                          QCoreApplication::applicationName();
    const std::string text = com + ": Fail !\n" + why.toStdString();
    QTimer::singleShot(0, &main_, [this, title, text] {
      main_.notifier().message_titled(title.toStdString(), text, MessageIcon::None);
    });
    return;
  }

  st.serial_open = true;
  set_back_color(c_.cmd_conn, colour::routed_green);
  set_back_color(c_.cmd_disconn, colour::idle_grey);
  link_.pump_once();
  link_.reset_exchange();
}

void SerialControl::set_run_device(int com_port, const QString& device) {
  run_port_ = com_port;
  run_device_ = device;
}

SerialPortMap SerialControl::port_map() const {
  SerialPortMap map = serial_port_map(file_locations().settings_folder());
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
  LinkState& st = link_.state();
  if (!st.serial_open) return;
  set_back_color(c_.cmd_conn, colour::idle_grey);
  set_back_color(c_.cmd_disconn, colour::busy_red);
  main_.serial_port().close();
  st.serial_open = false;
}

}  // namespace quadrel
