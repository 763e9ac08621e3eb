// The HTTP API and the web panel's files: the state from the model, PATCH
// with apply's meaning, one command, the upgrade to the event stream, and the
// API's own description. Every error is a problem document (RFC 9457).
//
// Answers go out through Qt HttpServer's responder. What Qt HttpServer 6.4
// lacks, the guard in front of its parser does (http_guard.h): it reads a
// whole body before the server sees the request, with no limit on its size,
// and joins two Transfer-Encoding fields; it has no limit on the head or on
// its fields, no time-outs, no connection slots, no hook before the body to
// check a token; it closes on a malformed request line without an answer
// and answers any HTTP version; and its upgrade to a WebSocket disconnects
// every signal of the socket (so nothing bound to them frees a slot) after
// letting the handler answer the same request.
#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QHttpServerResponder>
#include <QJsonObject>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include <qcoro/qcorotask.h>

#include "hub/command_rules.h"

#include "hub/http_guard.h"

namespace quadrel::hub {

class Access;
class SharedLink;

class HttpApi : public QAbstractHttpServer {
  Q_OBJECT
 public:
  // `web_folder` holds the web panel (index.html and what it loads); the
  // resolution names name the resolution numbers in the state document.
  HttpApi(SharedLink& link, const Access& access, bool loopback_only, const QString& web_folder,
          std::vector<std::string> resolutions, const HttpLimits& limits = {}, QObject* parent = nullptr);
  ~HttpApi() override;

  bool listen_on(const QHostAddress& address, quint16 port, QString* error);
  quint16 port() const { return port_; }
  int web_files() const { return static_cast<int>(files_.size()); }
  const HttpGuard* guard() const { return guard_; }

  // A request's body may hold this much; a longer one is refused (413) before it is read.
  static constexpr qint64 kMaxBody = HttpLimits{}.max_body;

  // The entity tag of a state document: a strong validator of its bytes.
  static QByteArray etag(const QByteArray& document);
  // The state document from the model, with where the link stands.
  QJsonObject state_json() const;

 protected:
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
  void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

 private:
  struct WebFile {
    QByteArray type;
    QByteArray body;
  };
  using Headers = QList<QPair<QByteArray, QByteArray>>;
  struct Reply;

  void load_web_files(const QString& folder);
  void serve_file(const QHttpServerRequest& request, Reply& reply);
  void get_state(const QHttpServerRequest& request, Reply& reply);
  void patch_state(const QHttpServerRequest& request, Reply&& reply);
  void send_line(const QHttpServerRequest& request, Reply&& reply);
  // The jobs of a PATCH and a POST /api/v1/send, on the link in their turn.
  QCoro::Task<> patch_job(std::shared_ptr<Reply> reply, QByteArray if_match, QByteArray body, bool dry_run);
  QCoro::Task<> send_job(std::shared_ptr<Reply> reply, Command command);
  QByteArray state_document() const;

  SharedLink& link_;
  bool loopback_only_;
  const Access& access_;
  HttpLimits limits_;
  std::vector<std::string> resolutions_;
  QHash<QString, WebFile> files_;
  HttpGuard* guard_ = nullptr;
  quint16 port_ = 0;
};

}  // namespace quadrel::hub
