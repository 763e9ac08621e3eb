// The serial port group: opening the chosen COM port, Connect and Disconnect.
#pragma once

#include <QString>

#include "link/serial_ports.h"
#include "ui/piece.h"

namespace quadrel {

class SerialControl : public Piece {
 public:
  explicit SerialControl(const PanelContext& context);

  void set_comm();
  void cbo_com_Click();
  void cmd_conn_Click();
  void cmd_disconn_Click();

  // Where com_ports.txt is read.
  void set_ports_folder(const QString& folder) { ports_folder_ = folder; }
  // For this run only, `com_port` means `device` (the command line's --serial).
  void set_run_device(int com_port, const QString& device);
  // The devices of COM1..COM9 now: the ports present, com_ports.txt, this run's device.
  SerialPortMap port_map() const;
  // The device that COM`com_port` stands for now (empty when none).
  QString device_of(int com_port) const;
  // Shows each entry of the port list with its device.
  void label_port_list();

 private:
  void label_port_list(const SerialPortMap& map);
  // Connect green while the port is open; Disconnect red while it is not.
  void show_open(bool open);

  QString ports_folder_;
  int run_port_ = 0;
  QString run_device_;
};

}  // namespace quadrel
