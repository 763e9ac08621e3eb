#include "link/serial_link.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "link/core/small_file.h"

#ifdef Q_OS_LINUX
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace quadrel {

SerialLink::SerialLink(QObject* parent) : QObject(parent) {
  connect(&port_, &QSerialPort::readyRead, this, [this] {
    if (on_ready_read) on_ready_read();
  });
  connect(&port_, &QSerialPort::bytesWritten, this, [this] {
    if (on_written && port_.bytesToWrite() == 0) on_written();
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
  // Read with the system's own calls: a panel opens its port at every start,
  // and a machine runs hundreds of processes with dozens of files each.
  const std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
  const std::string self = std::to_string(::getpid());
  while (const dirent* process = proc ? ::readdir(proc.get()) : nullptr) {
    const std::string pid = process->d_name;
    if (pid == self || pid.front() < '0' || pid.front() > '9') continue;
    const std::string fd_dir = "/proc/" + pid + "/fd";
    const std::unique_ptr<DIR, int (*)(DIR*)> fds(::opendir(fd_dir.c_str()), ::closedir);
    bool holds = false;
    while (const dirent* fd = fds && !holds ? ::readdir(fds.get()) : nullptr) {
      struct stat open_file {};
      holds = fd->d_name[0] != '.' && ::fstatat(::dirfd(fds.get()), fd->d_name, &open_file, 0) == 0 &&
              S_ISCHR(open_file.st_mode) && open_file.st_rdev == device.st_rdev;
    }
    if (!holds) continue;
    QFile comm(QStringLiteral("/proc/%1/comm").arg(QString::fromStdString(pid)));
    const QString name = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                                         : QStringLiteral("a program");
    return name + QStringLiteral(" (pid %1)").arg(QString::fromStdString(pid));
  }
#else
  Q_UNUSED(device_path);
#endif
  return {};
}

#ifdef Q_OS_LINUX
namespace {

// The terminal this program runs in: its controlling terminal (from the
// kernel's own record), or the terminal of its standard input or outputs.
bool is_own_terminal(dev_t device) {
  QFile stat(QStringLiteral("/proc/self/stat"));
  if (stat.open(QIODevice::ReadOnly)) {
    const QByteArray line = stat.readAll();
    // After the command name in parentheses: state, ppid, pgrp, session, tty_nr.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const unsigned long tty_nr = fields.value(4).toULong();
    const unsigned int tty_major = (tty_nr >> 8) & 0xfff;
    const unsigned int tty_minor = (tty_nr & 0xff) | ((tty_nr >> 12) & 0xfff00);
    if (tty_nr != 0 && major(device) == tty_major && minor(device) == tty_minor) return true;
  }
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) && ::isatty(fd) && info.st_rdev == device) return true;
  }
  return false;
}

}  // namespace
#endif

QString SerialLink::refusal(const QString& device_path) {
  if (device_path.isEmpty()) return QStringLiteral("no serial device is given");
#ifdef Q_OS_LINUX
  const QByteArray path = QFile::encodeName(device_path);
  struct stat info {};
  // A path that does not exist is left to the port, which says so.
  if (::stat(path.constData(), &info) != 0) return {};
  if (!S_ISCHR(info.st_mode))
    return QStringLiteral("not a serial device (it is %1)").arg(QString::fromStdString(file_kind(info.st_mode)));
  // Opened as a port it would be switched to raw 115200 baud under the user's
  // shell: /dev/tty is whatever terminal the opener has; the console and the
  // virtual consoles are the screen's.
  const unsigned int dev_major = major(info.st_rdev);
  const unsigned int dev_minor = minor(info.st_rdev);
  if (dev_major == 5 && dev_minor == 0) return QStringLiteral("the terminal this program runs in, not a serial port");
  if ((dev_major == 5 && dev_minor == 1) || (dev_major == 4 && dev_minor < 64))
    return QStringLiteral("a console of this computer, not a serial port");
  if (dev_major == 5 && dev_minor == 2)
    return QStringLiteral("the maker of pseudo-terminals, not a serial port");
  if (is_own_terminal(info.st_rdev)) return QStringLiteral("the terminal this program runs in, not a serial port");
  // A character device that is no terminal (/dev/zero, /dev/urandom, a
  // sound card) has no line settings at all. The kernel tells the class of
  // a device without opening it (an open and close would pulse a real
  // port's DTR line, which resets some devices); pseudo-terminals are not
  // listed there and are asked directly.
  const QString device_class =
      QFileInfo(QStringLiteral("/sys/dev/char/%1:%2/subsystem").arg(dev_major).arg(dev_minor)).symLinkTarget();
  if (!device_class.isEmpty()) {
    if (QFileInfo(device_class).fileName() != QLatin1String("tty")) return QStringLiteral("not a serial device");
  } else if (const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); fd >= 0) {
    const bool terminal = ::isatty(fd);
    ::close(fd);
    if (!terminal) return QStringLiteral("not a serial device");
  }
#endif
  return {};
}

bool SerialLink::open(const QString& device_path, QString* error) {
  if (port_.isOpen()) port_.close();
  path_ = device_path;
  loss_reported_ = false;
  if (const QString refused = refusal(device_path); !refused.isEmpty()) {
    if (error) *error = refused;
    return false;
  }
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
