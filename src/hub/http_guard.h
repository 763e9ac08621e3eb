// What stands in front of Qt's HTTP parser on the hub's HTTP port: each
// request's head read and checked line by line as it comes, its framing, its
// site and its token checked before a byte of its body is taken, time-outs,
// the connection slots, and refusals that reach the client before its
// connection closes. Qt HttpServer 6.4 has none of these (see http_api.h).
#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QTcpServer>
#include <memory>

namespace quadrel::hub {

class Access;

// The figures that bound the HTTP port; the manual page's LIMITS names them.
struct HttpLimits {
  int connections = 128;       // HTTP connections served at once
  int event_clients = 64;      // WebSocket connections at once (besides those)
  int refusing = 64;           // connections being told 503 at once; more are reset
  qint64 max_body = 64 * 1024;
  qint64 max_head = 16 * 1024; // a request's line and header fields
  int max_fields = 100;        // header fields of one request
  int idle_ms = 10000;         // a connection begins a request this soon, or is closed
  int head_ms = 10000;         // a request's head is whole this soon after its first byte (408)
  int body_ms = 10000;         // its body is whole this soon after its head (408)
  int evict_after_ms = 1000;   // when every slot is taken, a connection idle this long makes room
  int linger_ms = 2000;        // a closing connection's last answer is given this long to be taken
  int retry_after_s = 2;       // what a 503 tells the client to wait
};

// A request's head as the guard read it: names in lower case, values as sent.
struct RequestHead {
  QByteArray method;
  QByteArray target;
  int minor_version = 1;  // HTTP/1.x
  QList<QPair<QByteArray, QByteArray>> fields;

  QByteArray value(const QByteArray& name) const;  // the first field of that name
  int count(const QByteArray& name) const;
  // Whether a comma-separated field holds `token` (case-insensitive), as Connection does "close".
  bool has_token(const QByteArray& name, const QByteArray& token) const;
  QByteArray path() const { return target.contains('?') ? target.left(target.indexOf('?')) : target; }
};

// The problem+json body (RFC 9457) of every error the hub answers:
// {"type": "about:blank", "title", "status", "detail"} and `extensions`.
QByteArray problem_json(int status, const QString& detail, const QJsonObject& extensions = {});
// The reason phrase of a status, as Qt's responder writes it ("Payload Too Large").
QByteArray status_text(int status);

class HttpGuard : public QTcpServer {
  Q_OBJECT
 public:
  HttpGuard(const Access& access, bool loopback_only, const HttpLimits& limits, QObject* parent = nullptr);
  ~HttpGuard() override;

  // The server takes the next request the guard passed on `socket`.
  struct Taken {
    bool close = true;    // the client asked to close after it (HTTP/1.0, "Connection: close")
    bool behind = false;  // the answer to a request before it is still to come
  };
  Taken take_request(QTcpSocket* socket);
  // The server has written its whole answer on `socket`; `close` ends the
  // connection once the client has had it.
  void answered(QTcpSocket* socket, bool close);
  // The connection will close after the answer now being written (a request
  // came before the answer to the one before it).
  bool closing(QTcpSocket* socket) const;

  int connections() const;
  int event_clients() const;
  const HttpLimits& limits() const { return limits_; }

 protected:
  void incomingConnection(qintptr descriptor) override;

 private:
  class Connection;
  struct Shared;

  bool make_room();

  const Access& access_;
  bool loopback_only_;
  HttpLimits limits_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace quadrel::hub
