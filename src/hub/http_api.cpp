#include "hub/http_api.h"

#include <QDir>
#include <QFile>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "hub/access.h"
#include "hub/command_rules.h"
#include "hub/hub_log.h"
#include "hub/shared_link.h"
#include "hub/state_patch.h"
#include "link/state_document.h"

namespace quadrel::hub {

namespace {

const QString kStatePath = QStringLiteral("/api/v1/state");
const QString kSendPath = QStringLiteral("/api/v1/send");
const QString kEventsPath = QStringLiteral("/api/v1/events");
const QString kParametersPath = QStringLiteral("/api/v1/parameters");

QByteArray reason_of(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 409: return "Conflict";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 415: return "Unsupported Media Type";
    case 422: return "Unprocessable Content";
    case 426: return "Upgrade Required";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "Error";
  }
}

QByteArray json_text(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n'; }

void write_json(QTcpSocket* socket, int status, const QJsonObject& object, bool close,
                const QList<QPair<QByteArray, QByteArray>>& headers = {}) {
  write_response(socket, status, "application/json", json_text(object), close, headers);
}

void write_error(QTcpSocket* socket, int status, const QString& error, bool close,
                 const QList<QPair<QByteArray, QByteArray>>& headers = {}) {
  write_json(socket, status, QJsonObject{{"error", error}}, close, headers);
}

QByteArray header_value(const QByteArray& head, const QByteArray& name) {
  for (const QByteArray& line : head.split('\n')) {
    const qsizetype colon = line.indexOf(':');
    if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
      return line.mid(colon + 1).trimmed();
  }
  return {};
}

// The body must be JSON: a page of another site cannot send that without
// asking first, and the hub answers no such question.
bool json_body(const QHttpServerRequest& request) {
  const QByteArray type = request.value("Content-Type").split(';').first().trimmed().toLower();
  return type == "application/json" || type == "application/merge-patch+json";
}

}  // namespace

void write_response(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body, bool close,
                    const QList<QPair<QByteArray, QByteArray>>& headers) {
  if (!socket || socket->state() != QAbstractSocket::ConnectedState) return;
  QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason_of(status) + "\r\n";
  text += "Content-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
  text += "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n";
  for (const auto& [name, value] : headers) text += name + ": " + value + "\r\n";
  if (close) text += "Connection: close\r\n";
  text += "\r\n";
  socket->write(text + body);
  if (close) socket->disconnectFromHost();
}

// Accepts connections, and refuses a request whose body or headers are too
// long before the server reads them: each socket's bytes are looked at before
// the server's own reading of them.
class HttpApi::Listener : public QTcpServer {
 public:
  explicit Listener(QObject* parent) : QTcpServer(parent) {}

 protected:
  void incomingConnection(qintptr descriptor) override {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) return socket->deleteLater();
    if (++open_ > kMaxConnections) {
      write_error(socket, 503, QStringLiteral("too many connections"), true);
      socket->deleteLater();
      --open_;
      return;
    }
    connect(socket, &QObject::destroyed, this, [this] { --open_; });
    new Limit(socket);
    addPendingConnection(socket);
  }

 private:
  class Limit : public QObject {
   public:
    explicit Limit(QTcpSocket* socket) : QObject(socket), socket_(socket) {
      connect(socket, &QTcpSocket::readyRead, this, &Limit::look);
      header_wait_.setSingleShot(true);
      connect(&header_wait_, &QTimer::timeout, this, [this] { socket_->abort(); });
    }

   private:
    void look() {
      if (!socket_->isOpen()) return;
      if (refused_) {
        socket_->readAll();
        return;
      }
      const QByteArray fresh = socket_->peek(socket_->bytesAvailable());
      qsizetype pos = 0;
      while (pos < fresh.size()) {
        if (body_left_ > 0) {
          const qint64 take = std::min<qint64>(body_left_, fresh.size() - pos);
          body_left_ -= take;
          pos += take;
          continue;
        }
        if (head_.isEmpty()) header_wait_.start(kHeaderWaitMs);
        const qsizetype before = head_.size();
        head_.append(fresh.constData() + pos, fresh.size() - pos);
        const qsizetype end = head_.indexOf("\r\n\r\n", std::max<qsizetype>(0, before - 3));
        if (end < 0) {
          if (head_.size() > kMaxHeader) return refuse(431, QStringLiteral("the request's headers are too long"));
          return;
        }
        if (end + 4 > kMaxHeader) return refuse(431, QStringLiteral("the request's headers are too long"));
        const QByteArray head = head_.left(end + 4);
        pos += end + 4 - before;
        head_.clear();
        header_wait_.stop();
        if (header_value(head, "Transfer-Encoding").toLower().contains("chunked"))
          return refuse(411, QStringLiteral("a body needs its Content-Length"));
        bool ok = true;
        const QByteArray length = header_value(head, "Content-Length");
        body_left_ = length.isEmpty() ? 0 : length.toLongLong(&ok);
        if (!ok || body_left_ < 0) return refuse(400, QStringLiteral("a Content-Length that is no length"));
        if (body_left_ > kMaxBody)
          return refuse(413, QStringLiteral("a body may hold %1 bytes at most").arg(kMaxBody));
      }
    }

    void refuse(int status, const QString& why) {
      refused_ = true;
      header_wait_.stop();
      socket_->readAll();  // the server sees none of it
      write_error(socket_, status, why, true);
    }

    QTcpSocket* socket_;
    QByteArray head_;
    qint64 body_left_ = 0;
    bool refused_ = false;
    QTimer header_wait_;
  };

  int open_ = 0;
};

HttpApi::HttpApi(SharedLink& link, const Access& access, bool loopback_only, const QString& web_folder,
                 std::vector<std::string> resolutions, QObject* parent)
    : QAbstractHttpServer(parent),
      link_(link),
      access_(access),
      loopback_only_(loopback_only),
      resolutions_(std::move(resolutions)) {
  load_web_files(web_folder);
}

HttpApi::~HttpApi() = default;

bool HttpApi::listen_on(const QHostAddress& address, quint16 port, QString* error) {
  auto* listener = new Listener(this);
  if (!listener->listen(address, port)) {
    *error = listener->errorString();
    delete listener;
    return false;
  }
  port_ = listener->serverPort();
  bind(listener);
  return true;
}

void HttpApi::load_web_files(const QString& folder) {
  static const QHash<QString, QByteArray> kTypes{{"html", "text/html; charset=utf-8"},
                                                 {"css", "text/css; charset=utf-8"},
                                                 {"js", "text/javascript; charset=utf-8"},
                                                 {"svg", "image/svg+xml"},
                                                 {"png", "image/png"}};
  const QDir dir(folder);
  for (const QString& name : dir.entryList(QDir::Files | QDir::Readable)) {
    const QString suffix = name.section('.', -1);
    if (!kTypes.contains(suffix)) continue;
    QFile file(dir.filePath(name));
    if (file.size() > (4 << 20) || !file.open(QIODevice::ReadOnly)) continue;
    files_.insert(name, WebFile{kTypes[suffix], file.readAll()});
  }
}

bool HttpApi::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
  const bool close = request.value("Connection").toLower() == "close";
  const QString path = request.url().path();
  using Method = QHttpServerRequest::Method;
  if (!access_.same_site(request.value("Host"), request.value("Origin"), loopback_only_)) {
    write_error(socket, 403, QStringLiteral("a request from a page of another site"), close);
    return true;
  }
  if (request.body().size() > kMaxBody) {
    write_error(socket, 413, QStringLiteral("a body may hold %1 bytes at most").arg(kMaxBody), true);
    return true;
  }
  // Taken, the server hands the socket to the event stream, which looks at
  // its path, its site and its token.
  if (request.value("Upgrade").toLower() == "websocket") return true;
  if (!path.startsWith(QLatin1String("/api/"))) {
    serve_file(request, socket, close);
    return true;
  }
  if (!access_.authorized(request.value("Authorization"))) {
    write_error(socket, 401, QStringLiteral("this hub needs its token: Authorization: Bearer TOKEN"), close,
                {{"WWW-Authenticate", "Bearer"}});
    return true;
  }
  auto not_allowed = [&](const QByteArray& allow) {
    write_error(socket, 405, QStringLiteral("%1 takes %2").arg(path, QString::fromLatin1(allow)), close,
                {{"Allow", allow}});
  };
  if (path == kStatePath) {
    if (request.method() == Method::Get)
      write_json(socket, 200, to_json(link_.device().state(), resolutions_), close);
    else if (request.method() == Method::Patch)
      patch_state(request, socket, close);
    else
      not_allowed("GET, PATCH");
  } else if (path == kSendPath) {
    if (request.method() == Method::Post) send_line(request, socket, close);
    else not_allowed("POST");
  } else if (path == kParametersPath) {
    // What each value of the state is and which values it takes: the web panel's choices.
    if (request.method() == Method::Get) write_json(socket, 200, parameters_description(), close);
    else not_allowed("GET");
  } else if (path == kEventsPath) {
    write_error(socket, 426, QStringLiteral("the events come over a WebSocket"), close, {{"Upgrade", "websocket"}});
  } else {
    write_error(socket, 404, QStringLiteral("no such resource: %1").arg(path), close);
  }
  return true;
}

void HttpApi::missingHandler(const QHttpServerRequest&, QTcpSocket* socket) {
  write_error(socket, 404, QStringLiteral("no such resource"), true);
}

void HttpApi::serve_file(const QHttpServerRequest& request, QTcpSocket* socket, bool close) {
  static const QRegularExpression kName(QStringLiteral("^/([a-z0-9_-]+\\.[a-z]+)$"));
  const QString path = request.url().path();
  const auto match = kName.match(path);
  const QString name = path == QLatin1String("/") ? QStringLiteral("index.html") : match.captured(1);
  const auto it = files_.constFind(name);
  if (name.isEmpty() || it == files_.constEnd())
    return write_error(socket, 404, QStringLiteral("no such file: %1").arg(path), close);
  if (request.method() != QHttpServerRequest::Method::Get)
    return write_error(socket, 405, QStringLiteral("files are read with GET"), close, {{"Allow", "GET"}});
  // The page loads its own files and talks to this server only.
  write_response(socket, 200, it->type, it->body, close,
                 {{"Content-Security-Policy",
                   "default-src 'self'; connect-src 'self'; img-src 'self' data:; frame-ancestors 'none'"},
                  {"Referrer-Policy", "no-referrer"}});
}

void HttpApi::patch_state(const QHttpServerRequest& request, QTcpSocket* socket, bool close) {
  if (!json_body(request))
    return write_error(socket, 415, QStringLiteral("the body must be JSON (Content-Type: application/json)"), close);
  QPointer<QTcpSocket> who(socket);
  link_.enqueue([this, who, close, body = request.body()] {
    const PatchOutcome outcome = hub::patch_state(link_, body);
    write_json(who, http_status(outcome.exit_code), outcome.report, close);
  });
}

void HttpApi::send_line(const QHttpServerRequest& request, QTcpSocket* socket, bool close) {
  if (!json_body(request))
    return write_error(socket, 415, QStringLiteral("the body must be JSON (Content-Type: application/json)"), close);
  QJsonParseError parse;
  const QJsonDocument doc = QJsonDocument::fromJson(request.body(), &parse);
  if (parse.error != QJsonParseError::NoError || !doc.isObject())
    return write_error(socket, 400,
                       QStringLiteral("the body is no JSON object: %1").arg(parse.errorString()), close);
  const QJsonObject body = doc.object();
  const QJsonValue line = body.value(QStringLiteral("line"));
  if (body.size() != 1 || !line.isString())
    return write_error(socket, 422, QStringLiteral("the body is {\"line\": \"COMMAND\"}"), close);
  const QByteArray text = line.toString().toLatin1();
  const std::optional<Command> command =
      line.toString().size() == text.size() ? check_command(std::string_view(text.constData(), text.size()))
                                            : std::nullopt;
  if (!command)
    return write_error(socket, 422, QStringLiteral("not a command of the device: %1").arg(line.toString()), close);
  QPointer<QTcpSocket> who(socket);
  link_.enqueue([this, who, close, command = *command] {
    const SharedLink::Result result = link_.carry(command, this);
    int status = 200;
    QJsonObject answer{{"reply", result.reply.isEmpty() ? QJsonValue() : QJsonValue(QString::fromLatin1(result.reply))}};
    switch (result.outcome) {
      case ExchangeOutcome::Answered: break;
      case ExchangeOutcome::DeviceError: status = 409; break;
      case ExchangeOutcome::NoAnswer:
        status = 504;
        answer["error"] = QStringLiteral("no answer");
        break;
      default:
        status = 503;
        answer["error"] = QStringLiteral("the link to the device is not open");
        break;
    }
    write_json(who, status, answer, close);
  });
}

}  // namespace quadrel::hub
