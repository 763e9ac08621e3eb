#include "link/endpoint.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace quadrel {

namespace {

bool parse_port(const QString& text, quint16* port) {
  bool ok = false;
  const uint value = text.toUInt(&ok, 10);
  if (!ok || value == 0 || value > 65535 || text.startsWith(QLatin1Char('+'))) return false;
  *port = static_cast<quint16>(value);
  return true;
}

bool plausible_host(const QString& host) {
  if (host.isEmpty()) return false;
  if (!QHostAddress(host).isNull()) return true;
  static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_]([A-Za-z0-9_.-]*[A-Za-z0-9_.])?$"));
  return name.match(host).hasMatch();
}

}  // namespace

bool parse_endpoint(const QString& text, QString* host, quint16* port) {
  const QString t = text.trimmed();
  QString h = t;
  quint16 p = kDevicePort;
  if (t.startsWith(QLatin1Char('['))) {
    const qsizetype close = t.indexOf(QLatin1Char(']'));
    if (close < 0) return false;
    h = t.mid(1, close - 1);
    const QString rest = t.mid(close + 1);
    if (!rest.isEmpty() && !(rest.startsWith(QLatin1Char(':')) && parse_port(rest.mid(1), &p))) return false;
    if (QHostAddress(h).protocol() != QAbstractSocket::IPv6Protocol) return false;
  } else if (t.count(QLatin1Char(':')) == 1) {
    const qsizetype colon = t.indexOf(QLatin1Char(':'));
    h = t.left(colon);
    if (!parse_port(t.mid(colon + 1), &p)) return false;
  }
  if (!plausible_host(h)) return false;
  *host = h;
  *port = p;
  return true;
}

}  // namespace quadrel
