#include "panel/serial_control.h"

#include <QComboBox>
#include <QPushButton>

#include "link/serial_link.h"
#include "link/serial_ports.h"
#include "shell/widgets.h"

namespace quadrel {

SerialControl::SerialControl(FrmMain& main) : Piece(main) {
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

  const QString device = serial_device(ps_.com_port, program_folder());
  QString error;
  if (device.isEmpty() || !port.open(device, &error)) {
    port.close();
    main_.notifier().message("COM" + std::to_string(ps_.com_port) + ": Fail !", MessageIcon::None);
    set_back_color(c_.cmd_conn, colour::idle_grey);
    set_back_color(c_.cmd_disconn, colour::busy_red);
    st.serial_open = false;
    link_.pump_once();
    return;
  }

  st.serial_open = true;
  set_back_color(c_.cmd_conn, colour::routed_green);
  set_back_color(c_.cmd_disconn, colour::idle_grey);
  link_.pump_once();
  link_.reset_exchange();
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
