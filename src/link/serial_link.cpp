#include "link/serial_link.h"

#include <cerrno>

#include <unistd.h>

namespace quadrel {

SerialLink::SerialLink(QObject* parent) : QObject(parent) {
  connect(&port_, &QSerialPort::readyRead, this, [this] {
    if (on_ready_read) on_ready_read();
  });
  // A pseudo-terminal has no modem lines; asking for them fails with an
  // "unsupported operation", which says nothing about the port itself.
  connect(&port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
    if (error == QSerialPort::UnsupportedOperationError) port_.clearError();
  });
}

bool SerialLink::open(const QString& device_path, QString* error) {
  if (port_.isOpen()) port_.close();
  port_.setPortName(device_path);
  const bool configured = port_.setBaudRate(QSerialPort::Baud115200) &&
                          port_.setDataBits(QSerialPort::Data8) &&
                          port_.setParity(QSerialPort::NoParity) &&
                          port_.setStopBits(QSerialPort::OneStop) &&
                          port_.setFlowControl(QSerialPort::NoFlowControl);
  if (!configured || !port_.open(QIODevice::ReadWrite)) {
    if (error) *error = port_.errorString();
    if (port_.isOpen()) port_.close();
    return false;
  }
  port_.clear(QSerialPort::AllDirections);
  port_.clearError();
  return true;
}

bool SerialLink::write(std::string_view bytes) {
  if (!port_.isOpen()) return false;
  // A command goes straight to the port when nothing waits before it: the
  // port's own buffered write would switch its write notifier on and off, two
  // more turns of the event loop for every command.
  if (port_.bytesToWrite() == 0) {
    const ssize_t written = ::write(port_.handle(), bytes.data(), bytes.size());
    if (written == static_cast<ssize_t>(bytes.size())) return true;
    if (written > 0) bytes.remove_prefix(static_cast<std::size_t>(written));
    else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
  }
  return port_.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
         static_cast<qint64>(bytes.size());
}

std::size_t SerialLink::bytes_to_write() const {
  return port_.isOpen() ? static_cast<std::size_t>(port_.bytesToWrite()) : 0;
}

std::size_t SerialLink::bytes_available() const {
  return port_.isOpen() ? static_cast<std::size_t>(port_.bytesAvailable()) : 0;
}

std::string SerialLink::read_all() {
  const QByteArray data = port_.readAll();
  return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

void SerialLink::close() {
  if (port_.isOpen()) port_.close();
}

}  // namespace quadrel
