// The serial port as a byte link: 115200 baud, no parity, 8 data bits, 1 stop bit.
#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>

#include "link/core/link_io.h"

namespace quadrel {

class SerialLink : public QObject, public ByteLink {
  Q_OBJECT
 public:
  explicit SerialLink(QObject* parent = nullptr);

  // Opens the device path with the fixed settings and empties both buffers.
  // On failure returns false and leaves the port closed; `error` says why.
  bool open(const QString& device_path, QString* error = nullptr);

  bool is_open() const override { return port_.isOpen(); }
  bool write(std::string_view bytes) override;
  std::size_t bytes_to_write() const override;
  std::size_t bytes_available() const override;
  std::string read_all() override;
  void close() override;

  QSerialPort& port() { return port_; }

 private:
  QSerialPort port_;
};

}  // namespace quadrel
