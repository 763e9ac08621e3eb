// The WebSocket event stream: every client hears the device's reports, the
// changes other clients made, and the link opening and closing.
#pragma once

#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

#include "link/watch_record.h"

class QAbstractHttpServer;
class QWebSocket;

namespace quadrel::hub {

class Access;
class HttpApi;
class SharedLink;

class EventStream : public QObject {
  Q_OBJECT
 public:
  EventStream(HttpApi& server, SharedLink& link, const Access& access, bool loopback_only,
              QObject* parent = nullptr);
  ~EventStream() override;

  int clients() const;
  // Sends a record to every client admitted.
  void publish(const QJsonObject& record);
  // A line the device reported or confirmed, as its record of what it changed.
  void publish_change(const QByteArray& line, quadrel::Change change);
  // {"event": "state", "state": the whole state document, with the link}: a
  // client's first message, and what follows a change of many values at once.
  QJsonObject snapshot() const;

  static constexpr int kMaxClients = 64;

 signals:
  // Each record as it is sent, whether a client is there or not (the MQTT bridge's events).
  void published(const QJsonObject& record);

 public:
  // A client that takes nothing of this much is cut off.
  static constexpr qint64 kMaxUnread = 1024 * 1024;
  // A page (which cannot send headers) names the token in its first message, this soon.
  static constexpr int kTokenWaitMs = 5000;
  static constexpr qint64 kMaxMessage = 4096;

 private:
  struct Client;
  void on_new_connection();
  void admit(Client* client);
  void drop(Client* client, quint16 code, const QString& why);
  // Someone hears the records: a client, or a listener of `published`.
  bool heard() const;

  HttpApi& server_;
  SharedLink& link_;
  const Access& access_;
  bool loopback_only_;
  std::vector<std::unique_ptr<Client>> clients_;
};

}  // namespace quadrel::hub
