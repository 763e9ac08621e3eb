#include "link/serial_ports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <grp.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "link/core/small_file.h"

namespace quadrel {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

const QString kById = QStringLiteral("/dev/serial/by-id");

// ttyUSB10 after ttyUSB9: by the name's stem, then by its number.
bool by_number(const QString& a, const QString& b) {
  auto split = [](const QString& name) {
    qsizetype digits = name.size();
    while (digits > 0 && name.at(digits - 1).isDigit()) --digits;
    return std::pair(name.left(digits), name.mid(digits).toInt());
  };
  return split(a) < split(b);
}

// The entries of `folder` named by one of `stems` and a number ("ttyUSB0"),
// in the order by_number gives. One pass over the folder with the system's
// own calls: /dev holds hundreds of entries, and the panel lists its ports at
// every start.
QStringList numbered_entries(const QString& folder, std::initializer_list<std::string_view> stems) {
  QStringList names;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(QFile::encodeName(folder).constData()), ::closedir);
  while (const dirent* entry = dir ? ::readdir(dir.get()) : nullptr) {
    if (entry->d_type == DT_DIR) continue;
    const std::string_view name = entry->d_name;
    for (const std::string_view stem : stems) {
      if (name.size() <= stem.size() || name.substr(0, stem.size()) != stem) continue;
      const std::string_view number = name.substr(stem.size());
      if (std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
        names << QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    }
  }
  std::sort(names.begin(), names.end(), by_number);
  return names;
}

// A built-in port has a UART when the serial core reports a port type other
// than 0 ("unknown"): the kernel makes ttyS0..ttyS31 whether or not one exists.
bool has_uart(const QString& root, const QString& name) {
  QFile type(root + QStringLiteral("/sys/class/tty/") + name + QStringLiteral("/type"));
  if (!type.open(QIODevice::ReadOnly)) return false;
  return type.readAll().trimmed().toInt() != 0;
}

}  // namespace

QStringList present_serial_devices(const QString& root) {
  const QDir dev(root + QStringLiteral("/dev"));
  QStringList taken;   // kernel devices already reached through a stable name
  QStringList result;

  const QDir by_id(root + kById);
  for (const QFileInfo& link : by_id.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
    const QString target = link.canonicalFilePath();
    if (target.isEmpty()) continue;  // a link whose adapter has gone
    taken << QFileInfo(target).fileName();
    result << kById + QLatin1Char('/') + link.fileName();
  }

  for (const QString& name : numbered_entries(dev.path(), {"ttyUSB", "ttyACM"}))
    if (!taken.contains(name)) result << QStringLiteral("/dev/") + name;
  for (const QString& name : numbered_entries(dev.path(), {"ttyS"}))
    if (has_uart(root, name)) result << QStringLiteral("/dev/") + name;
  return result;
}

std::map<int, std::string> parse_com_ports(std::string_view text) {
  std::map<int, std::string> ports;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view name = trim(line.substr(0, equals));
    const std::string_view path = trim(line.substr(equals + 1));
    if (name.size() != 4 || path.empty()) continue;
    if ((name[0] != 'C' && name[0] != 'c') || (name[1] != 'O' && name[1] != 'o') ||
        (name[2] != 'M' && name[2] != 'm') || name[3] < '1' || name[3] > '9')
      continue;
    ports[name[3] - '0'] = std::string(path);
  }
  return ports;
}

SerialPortMap serial_port_map(const QStringList& present, const std::map<int, std::string>& file_lines) {
  SerialPortMap map;
  for (std::size_t i = 0; i < map.size() && i < static_cast<std::size_t>(present.size()); ++i)
    map[i] = present.at(static_cast<qsizetype>(i));
  for (const auto& [port, path] : file_lines) map[static_cast<std::size_t>(port - 1)] = QString::fromStdString(path);
  return map;
}

namespace {

constexpr std::size_t kComPortsLimit = 64 * 1024;

SmallFile read_com_ports(const QString& folder) {
  return read_small_file(QFile::encodeName(QDir(folder).filePath(QStringLiteral("com_ports.txt"))).toStdString(),
                         kComPortsLimit);
}

}  // namespace

SerialPortMap serial_port_map(const QString& folder, const QString& root) {
  // Only a regular file is read: a FIFO in its place would never end.
  const SmallFile file = read_com_ports(folder);
  return serial_port_map(present_serial_devices(root), parse_com_ports(file.text));
}

QString com_ports_problem(const QString& folder) {
  const SmallFile file = read_com_ports(folder);
  if (file.result == SmallFile::Result::Ok || file.result == SmallFile::Result::Missing) return {};
  return QStringLiteral("com_ports.txt %1; the serial ports present are used.")
      .arg(QString::fromLocal8Bit(file.problem()));
}

QString default_serial_device(int com_port) {
  if (com_port < 1 || com_port > 9) return {};
  return serial_port_map(present_serial_devices(), {})[static_cast<std::size_t>(com_port - 1)];
}

QString serial_device(int com_port, const QString& folder) {
  if (com_port < 1 || com_port > 9) return {};
  return serial_port_map(folder)[static_cast<std::size_t>(com_port - 1)];
}

QString serial_device_label(const QString& device) {
  if (device.startsWith(kById + QLatin1Char('/'))) return device.mid(kById.size() + 1);
  if (device.startsWith(QStringLiteral("/dev/"))) return device.mid(5);
  return QFileInfo(device).fileName();
}

QString serial_open_advice(const QString& device, const QString& reason) {
  QString group;
  struct stat info {};
  if (::stat(QFile::encodeName(device).constData(), &info) == 0) {
    if (const struct group* entry = ::getgrgid(info.st_gid)) group = QString::fromLocal8Bit(entry->gr_name);
  }
  return serial_open_advice(device, reason, group);
}

QString serial_open_advice(const QString& device, const QString& reason, const QString& group) {
  QString text = device + QStringLiteral(": ") + (reason.isEmpty() ? QStringLiteral("cannot be opened") : reason);
  const QByteArray path = QFile::encodeName(device);
  const bool denied = reason.contains(QStringLiteral("permission denied"), Qt::CaseInsensitive) ||
                      (::access(path.constData(), F_OK) == 0 && ::access(path.constData(), R_OK | W_OK) != 0 &&
                       errno == EACCES);
  if (!denied) return text;
  // Debian gives serial devices to the group dialout; joining it is the way
  // only where the device is in that group.
  if (group == QLatin1String("dialout"))
    text += QStringLiteral(
        "\nYour user may not use serial ports: run \"sudo usermod -aG dialout $USER\", then log out and in again.");
  else if (!group.isEmpty())
    text += QStringLiteral("\nYour user may not open it: it belongs to the group %1.").arg(group);
  return text;
}

}  // namespace quadrel
