// The serial port as a byte link: 115200 baud, no parity, 8 data bits, 1 stop bit.
#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>

#include "link/core/link_io.h"

namespace quadrel {

// Owns the port: opening it for this program alone, and watching it for the
// errors after which it is gone (a pulled USB adapter, an I/O error), which
// close it and are reported once through `on_lost`.
class SerialLink : public QObject, public ByteLink {
  Q_OBJECT
 public:
  explicit SerialLink(QObject* parent = nullptr);

  // Opens the device path with the fixed settings and empties both buffers.
  // The port is taken exclusively: a port that another program holds open is
  // refused. On failure returns false and leaves the port closed; `error`
  // says why ("the port is in use by minicom (pid 4711)", "No such file or directory").
  bool open(const QString& device_path, QString* error = nullptr);

  bool is_open() const override { return port_.isOpen(); }
  bool write(std::string_view bytes) override;
  std::size_t bytes_to_write() const override;
  std::size_t bytes_available() const override;
  std::string read_all() override;
  void close() override;

  QSerialPort& port() { return port_; }

  // Why `device_path` is refused before it is opened, empty when it may be a
  // serial port: a FIFO, a file or a character device that is no terminal
  // ("not a serial device"), or the terminal this program runs in.
  static QString refusal(const QString& device_path);

  // Another program that has `device_path` open: "minicom (pid 4711)", or
  // empty when none is found (or the system does not tell).
  static QString other_holder(const QString& device_path);

 private:
  void on_error(QSerialPort::SerialPortError error);

  QSerialPort port_;
  QString path_;
  bool loss_reported_ = false;
};

}  // namespace quadrel
