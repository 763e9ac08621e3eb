#include "hub/event_stream.h"

#include <QAbstractHttpServer>
#include <QDateTime>
#include <QJsonDocument>
#include <QMetaMethod>
#include <QWebSocket>
#include <algorithm>

#include "hub/access.h"
#include "hub/http_api.h"
#include "hub/hub_log.h"
#include "hub/shared_link.h"

namespace quadrel::hub {

namespace {
const QString kEventsPath = QStringLiteral("/api/v1/events");
}

struct EventStream::Client {
  std::unique_ptr<QWebSocket> socket;
  bool admitted = false;
  QTimer* token_wait = nullptr;  // the socket's: deleted with it, after its own signal
};

EventStream::EventStream(HttpApi& server, SharedLink& link, const Access& access, bool loopback_only,
                         QObject* parent)
    : QObject(parent), server_(server), link_(link), access_(access), loopback_only_(loopback_only) {
  connect(&server_, &QAbstractHttpServer::newWebSocketConnection, this, &EventStream::on_new_connection);
  connect(&link_, &SharedLink::report, this, &EventStream::publish_change);
  connect(&link_, &SharedLink::refreshed, this, &EventStream::publish_change);
  connect(&link_, &SharedLink::confirmed, this,
          [this](const QByteArray& line, Change change, const void*) { publish_change(line, change); });
  connect(&link_, &SharedLink::link_state, this, [this](bool up, const QString& reason) {
    // Back: the device was read anew; what changed meanwhile went out as
    // records, and the whole state with the link follows.
    if (up) publish(snapshot());
    publish(up ? WatchDecoder::back_record(link_.target().describe(), QDateTime::currentDateTime())
               : WatchDecoder::lost_record(reason, QDateTime::currentDateTime()));
  });
}

EventStream::~EventStream() {
  // A socket closing as it goes tells nobody here.
  for (const auto& client : clients_) client->socket->disconnect(this);
}

int EventStream::clients() const {
  return static_cast<int>(std::count_if(clients_.begin(), clients_.end(), [](const auto& c) { return c->admitted; }));
}

void EventStream::on_new_connection() {
  while (server_.hasPendingWebSocketConnections()) {
    auto client = std::make_unique<Client>();
    client->socket = server_.nextPendingWebSocketConnection();
    QWebSocket* socket = client->socket.get();
    Client* raw = client.get();
    clients_.push_back(std::move(client));
    socket->setMaxAllowedIncomingMessageSize(kMaxMessage);
    socket->setMaxAllowedIncomingFrameSize(kMaxMessage);
    connect(socket, &QWebSocket::disconnected, this, [this, raw] { drop(raw, 0, {}); });

    const QNetworkRequest& request = socket->request();
    if (socket->requestUrl().path() != kEventsPath) return drop(raw, 1008, QStringLiteral("no such stream"));
    if (static_cast<int>(clients_.size()) > kMaxClients)
      return drop(raw, 1013, QStringLiteral("%1 clients already").arg(kMaxClients));
    if (const QString why = Access::site_refusal(request.rawHeader("Host"), request.rawHeader("Origin"), loopback_only_);
        !why.isEmpty())
      return drop(raw, 1008, why);
    if (access_.authorized(request.rawHeader("Authorization"))) {
      admit(raw);
      continue;
    }
    if (request.hasRawHeader("Authorization")) return drop(raw, 1008, QStringLiteral("wrong token"));
    // A browser cannot send the header: its page sends {"token": "..."} first.
    connect(socket, &QWebSocket::textMessageReceived, this, [this, raw](const QString& message) {
      if (raw->admitted) return;
      const QJsonObject hello = QJsonDocument::fromJson(message.toUtf8()).object();
      if (access_.token_matches(hello.value(QStringLiteral("token")).toString().toUtf8()))
        admit(raw);
      else
        drop(raw, 1008, QStringLiteral("wrong token"));
    });
    raw->token_wait = new QTimer(socket);
    raw->token_wait->setSingleShot(true);
    connect(raw->token_wait, &QTimer::timeout, this, [this, raw] { drop(raw, 1008, QStringLiteral("no token")); });
    raw->token_wait->start(kTokenWaitMs);
  }
}

void EventStream::admit(Client* client) {
  client->admitted = true;
  if (client->token_wait) client->token_wait->stop();
  // The first message is the whole state, with where the link stands; records follow.
  client->socket->sendTextMessage(QString::fromLatin1(watch_json_line(snapshot()).trimmed()));
}

QJsonObject EventStream::snapshot() const {
  return {{"event", "state"}, {"time", watch_time(QDateTime::currentDateTime())}, {"state", server_.state_json()}};
}

bool EventStream::heard() const {
  return !clients_.empty() || isSignalConnected(QMetaMethod::fromSignal(&EventStream::published));
}

void EventStream::publish_change(const QByteArray& line, Change change) {
  if (!heard()) return;
  // As the hub's model read it, whoever selected the output it belongs to.
  QJsonObject record = WatchDecoder::change_record(line, change, link_.device().model(), QDateTime::currentDateTime());
  publish(record);
  // The resolution's name goes with its number.
  if (change.aspect == Aspect::Resolution) {
    record["field"] = QStringLiteral("resolution_name");
    record["value"] = server_.state_json().value(QStringLiteral("resolution_name"));
    publish(record);
  }
  // A reset changes many values at once, which its record does not name; a
  // mode decides which of the document's values exist (the others are null).
  if (change.aspect == Aspect::Mode || change.aspect == Aspect::PictureReset || change.aspect == Aspect::FactoryReset)
    publish(snapshot());
}

void EventStream::publish(const QJsonObject& record) {
  if (!heard()) return;
  emit published(record);
  if (clients_.empty()) return;
  const QString text = QString::fromLatin1(watch_json_line(record).trimmed());
  std::vector<Client*> stalled;
  for (const auto& client : clients_) {
    if (!client->admitted) continue;
    if (client->socket->bytesToWrite() > kMaxUnread) stalled.push_back(client.get());
    else client->socket->sendTextMessage(text);
  }
  for (Client* client : stalled) drop(client, 1008, QStringLiteral("it took nothing of what was sent"));
}

void EventStream::drop(Client* client, quint16 code, const QString& why) {
  const auto it = std::find_if(clients_.begin(), clients_.end(), [client](const auto& c) { return c.get() == client; });
  if (it == clients_.end()) return;
  std::unique_ptr<Client> gone = std::move(*it);
  clients_.erase(it);
  gone->socket->disconnect(this);
  if (code != 0) {
    log_event(QStringLiteral("events: %1:%2 refused: %3")
                  .arg(gone->socket->peerAddress().toString())
                  .arg(gone->socket->peerPort())
                  .arg(why));
    gone->socket->close(static_cast<QWebSocketProtocol::CloseCode>(code), why);
  }
  // Deleted once the socket's own signal, which may be running, has returned.
  QWebSocket* socket = gone->socket.release();
  socket->deleteLater();
}

}  // namespace quadrel::hub
