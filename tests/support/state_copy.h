// A consumer of the hub's event stream as integrators write one: a real
// WebSocket client that keeps the snapshot and applies each record to it.
#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QNetworkRequest>
#include <QStringList>
#include <QTest>
#include <QWebSocket>

namespace quadrel::test {

// A WebSocket client of the event stream, with its records.
struct EventClient {
  QWebSocket socket;
  QList<QJsonObject> records;
  explicit EventClient(quint16 port, const QList<QByteArray>& headers = {}, const QString& path = "/api/v1/events",
                       const QString& origin = {})
      : socket(origin) {
    QObject::connect(&socket, &QWebSocket::textMessageReceived,
                     [this](const QString& text) { records << QJsonDocument::fromJson(text.toUtf8()).object(); });
    QNetworkRequest request(QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(port).arg(path)));
    for (const QByteArray& header : headers) {
      const qsizetype colon = header.indexOf(':');
      request.setRawHeader(header.left(colon), header.mid(colon + 1).trimmed());
    }
    socket.open(request);
  }
  bool wait_records(int n, int ms = 2000) { return QTest::qWaitFor([&] { return records.size() >= n; }, ms); }
  bool wait_closed(int ms = 2000) {
    return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, ms);
  }
};

// A consumer's copy of the state: the snapshot, with each record's value put
// at its field (a value for a whole object, the TV Wall's routing, in each of
// its members), the link's events on its link.
inline bool put(QJsonObject& object, QStringList keys, const QJsonValue& value) {
  const QString key = keys.takeFirst();
  if (!object.contains(key)) return false;
  QJsonValue inner = object[key];
  if (!keys.isEmpty()) {
    QJsonObject below = inner.toObject();
    if (!inner.isObject() || !put(below, keys, value)) return false;
    object[key] = below;
  } else if (inner.isObject()) {
    QJsonObject all = inner.toObject();
    for (const QString& member : all.keys()) all[member] = value;
    object[key] = all;
  } else {
    object[key] = value;
  }
  return true;
}
// Where two documents differ: "mode: \"quad\" / \"matrix\"".
inline QStringList differences(const QJsonObject& a, const QJsonObject& b, const QString& prefix = {}) {
  QStringList found;
  QStringList keys = a.keys() + b.keys();
  keys.removeDuplicates();
  for (const QString& key : keys) {
    const QJsonValue x = a.value(key), y = b.value(key);
    if (x.isObject() && y.isObject()) found << differences(x.toObject(), y.toObject(), prefix + key + '.');
    else if (x != y)
      found << prefix + key + ": " + QJsonDocument(QJsonArray{x}).toJson(QJsonDocument::Compact) + " / " +
                   QJsonDocument(QJsonArray{y}).toJson(QJsonDocument::Compact);
  }
  return found;
}

inline void apply_record(QJsonObject& copy, const QJsonObject& record) {
  const QString event = record["event"].toString();
  if (event == u"state") copy = record["state"].toObject();
  else if (event == u"lost" || event == u"back") put(copy, {"link", "state"}, event == u"back" ? "up" : "down");
  else if (!record["field"].toString().isEmpty()) put(copy, record["field"].toString().split('.'), record["value"]);
}

// The copy the records so far make.
inline QJsonObject copy_of(const QList<QJsonObject>& records) {
  QJsonObject copy;
  for (const QJsonObject& record : records) apply_record(copy, record);
  return copy;
}

}  // namespace quadrel::test
