#include "link/serial_link.h"

#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_LINUX
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace quadrel {

SerialLink::SerialLink(QObject* parent) : QObject(parent) {
  connect(&port_, &QSerialPort::readyRead, this, [this] {
    if (on_ready_read) on_ready_read();
  });
  connect(&port_, &QSerialPort::errorOccurred, this, &SerialLink::on_error);
}

void SerialLink::on_error(QSerialPort::SerialPortError error) {
  switch (error) {
    case QSerialPort::UnsupportedOperationError:
      // A pseudo-terminal has no modem lines; asking for them fails with an
      // "unsupported operation", which says nothing about the port itself.
      port_.clearError();
      return;
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
      break;
    default:
      return;
  }
  // A hang-up or an I/O error: the device is gone. Left open, the port would
  // signal again and again (and retry its writes) as fast as it can; it is
  // closed once the signal has returned, and the loss reported once.
  if (!port_.isOpen() || loss_reported_) return;
  loss_reported_ = true;
  // A hang-up reads as an empty read, whose system error text is stale: the
  // system's text is added only where it said why.
  QString why = error == QSerialPort::WriteError ? QStringLiteral("writing failed")
                                                 : QStringLiteral("the device hung up or was removed");
  if (error != QSerialPort::ReadError && !port_.errorString().isEmpty())
    why += QStringLiteral(" (") + port_.errorString() + ')';
  const std::string reason = (path_ + QStringLiteral(": ") + why).toStdString();
  QMetaObject::invokeMethod(
      this,
      [this, reason] {
        if (!port_.isOpen()) return;
        port_.close();
        if (on_lost) on_lost(reason);
      },
      Qt::QueuedConnection);
}

QString SerialLink::other_holder(const QString& device_path) {
#ifdef Q_OS_LINUX
  // A program that opened the tty without a lock file or an exclusive mode
  // shows up only among the open files of the running processes.
  struct stat device {};
  if (::stat(QFile::encodeName(device_path).constData(), &device) != 0 || !S_ISCHR(device.st_mode))
    return {};
  const QString self = QString::number(::getpid());
  const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const QString& pid : pids) {
    if (pid == self || !pid.front().isDigit()) continue;
    const QString fd_dir = QStringLiteral("/proc/") + pid + QStringLiteral("/fd");
    for (const QString& fd : QDir(fd_dir).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
      struct stat open_file {};
      if (::stat(QFile::encodeName(fd_dir + '/' + fd).constData(), &open_file) != 0) continue;
      if (!S_ISCHR(open_file.st_mode) || open_file.st_rdev != device.st_rdev) continue;
      QFile comm(QStringLiteral("/proc/") + pid + QStringLiteral("/comm"));
      QString name = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                                     : QStringLiteral("a program");
      return name + QStringLiteral(" (pid ") + pid + ')';
    }
  }
#else
  Q_UNUSED(device_path);
#endif
  return {};
}

bool SerialLink::open(const QString& device_path, QString* error) {
  if (port_.isOpen()) port_.close();
  path_ = device_path;
  loss_reported_ = false;
  // Two programs on one port each take part of the replies; neither works.
  const QString holder = other_holder(device_path);
  if (!holder.isEmpty()) {
    if (error) *error = QStringLiteral("the port is in use by ") + holder;
    return false;
  }
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
#ifdef Q_OS_LINUX
  // This program's alone from now on: a lock that other careful programs
  // honour, and the tty's exclusive mode, which refuses later opens.
  const int fd = static_cast<int>(port_.handle());
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (error) *error = QStringLiteral("the port is locked by another program");
    port_.close();
    return false;
  }
  ::ioctl(fd, TIOCEXCL);
#endif
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
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      // The device is gone (a pulled adapter gives EIO): closed and told once, with why.
      const QString why = QStringLiteral("writing failed (") + QString::fromLocal8Bit(std::strerror(errno)) + ')';
      if (!loss_reported_) {
        loss_reported_ = true;
        port_.close();
        if (on_lost) on_lost((path_ + QStringLiteral(": ") + why).toStdString());
      }
      return false;
    }
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
