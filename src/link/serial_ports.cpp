#include "link/serial_ports.h"

#include <QDir>
#include <QFile>

namespace quadrel {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

QString default_serial_device(int com_port) {
  if (com_port >= 1 && com_port <= 4) return QStringLiteral("/dev/ttyS%1").arg(com_port - 1);
  if (com_port >= 5 && com_port <= 8) return QStringLiteral("/dev/ttyUSB%1").arg(com_port - 5);
  if (com_port == 9) return QStringLiteral("/dev/ttyACM0");
  return {};
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

QString serial_device(int com_port, const QString& folder) {
  if (com_port < 1 || com_port > 9) return {};
  QFile file(QDir(folder).filePath(QStringLiteral("com_ports.txt")));
  if (file.open(QIODevice::ReadOnly)) {
    const QByteArray data = file.read(64 * 1024);
    const auto ports = parse_com_ports(std::string_view(data.constData(), static_cast<std::size_t>(data.size())));
    if (const auto it = ports.find(com_port); it != ports.end()) return QString::fromStdString(it->second);
  }
  return default_serial_device(com_port);
}

}  // namespace quadrel
