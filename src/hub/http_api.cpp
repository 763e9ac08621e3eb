#include "hub/http_api.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrlQuery>
#include <memory>

#include "hub/access.h"
#include "hub/command_rules.h"
#include "hub/shared_link.h"
#include "hub/state_patch.h"
#include "link/exit_code.h"
#include "link/state_document.h"

namespace quadrel::hub {

namespace {

const QString kStatePath = QStringLiteral("/api/v1/state");
const QString kSendPath = QStringLiteral("/api/v1/send");
const QString kEventsPath = QStringLiteral("/api/v1/events");
const QString kOpenApiPath = QStringLiteral("/api/v1/openapi.json");
const QString kSchemaPath = QStringLiteral("/api/v1/schema.json");
const QString kParametersPath = QStringLiteral("/api/v1/parameters");
const QString kHealthPath = QStringLiteral("/api/v1/health");

QByteArray json_text(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n'; }

QByteArray resource(const QString& name) {
  QFile file(QStringLiteral(":/quadrel/hub/") + name);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The body must be JSON: a page of another site cannot send that without
// asking first, and the hub answers no such question.
bool json_body(const QHttpServerRequest& request) {
  const QByteArray type = request.value("Content-Type").split(';').first().trimmed().toLower();
  return type == "application/json" || type == "application/merge-patch+json";
}

// Whether a list of entity tags (If-Match, If-None-Match) names `tag`, or is "*".
bool names_tag(const QByteArray& list, const QByteArray& tag) {
  for (const QByteArray& part : list.split(',')) {
    const QByteArray t = part.trimmed();
    if (t == "*" || t == tag) return true;
  }
  return false;
}

// The extension members of a PATCH that did not do all it was asked: the
// apply report's, each fault with the JSON pointer of its place.
QJsonObject report_members(const QJsonObject& report) {
  QJsonObject members = report;
  QJsonArray errors;
  for (const QJsonValue& value : report.value(QStringLiteral("errors")).toArray()) {
    QJsonObject error = value.toObject();
    const QString path = error.value(QStringLiteral("path")).toString();
    error.insert(QStringLiteral("pointer"),
                 path.isEmpty() ? QString() : QLatin1Char('/') + QString(path).replace(QLatin1Char('.'), QLatin1Char('/')));
    errors.append(error);
  }
  members.insert(QStringLiteral("errors"), errors);
  return members;
}

// What a PATCH's report says went wrong, in a line.
QString report_detail(const QJsonObject& report) {
  const int code = report.value(QStringLiteral("exit_code")).toInt();
  QString first;
  for (const QJsonValue& value : report.value(QStringLiteral("errors")).toArray()) {
    const QJsonObject error = value.toObject();
    const QString path = error.value(QStringLiteral("path")).toString();
    first = (path.isEmpty() ? QString() : path + QStringLiteral(": ")) + error.value(QStringLiteral("message")).toString();
    break;
  }
  for (const QJsonValue& value : report.value(QStringLiteral("changes")).toArray()) {
    const QJsonObject change = value.toObject();
    if (!first.isEmpty()) break;
    if (change.value(QStringLiteral("result")) != QLatin1String("held"))
      first = change.value(QStringLiteral("path")).toString() + QStringLiteral(": ") +
              change.value(QStringLiteral("result")).toString() +
              (change.contains(QStringLiteral("message"))
                   ? QStringLiteral(" (%1)").arg(change.value(QStringLiteral("message")).toString())
                   : QString());
  }
  QString what;
  switch (code) {
    case exit_code::Refused: what = QStringLiteral("the device refused a change, or holds another value"); break;
    case exit_code::NoAnswer: what = QStringLiteral("the device did not answer"); break;
    case exit_code::LinkError: what = QStringLiteral("the link to the device is not open"); break;
    default: what = QStringLiteral("the document does not fit the device; nothing was sent"); break;
  }
  return first.isEmpty() ? what : what + QStringLiteral(": ") + first;
}

}  // namespace

// One answer, written through Qt's responder once it is known (at once, or
// when the link's job is done); the guard learns that it is out.
struct HttpApi::Reply {
  QHttpServerResponder responder;
  QPointer<QTcpSocket> socket;
  QPointer<HttpGuard> guard;
  bool head = false;   // HEAD: the headers of the GET, no body
  bool close = false;  // the client asked to close after it

  void send(int status, const QByteArray& type, const QByteArray& body, const Headers& headers = {}) {
    if (!socket || !guard || socket->state() != QAbstractSocket::ConnectedState) return;
    const bool closing = close || guard->closing(socket);
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(status));
    if (status != 304) {
      responder.writeHeader("Content-Type", type);
      responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    }
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    for (const auto& [name, value] : headers) responder.writeHeader(name, value);
    if (closing) responder.writeHeader("Connection", "close");
    responder.writeBody(head || status == 304 ? QByteArray() : body);
    guard->answered(socket, closing);
  }

  void problem(int status, const QString& detail, const QJsonObject& members = {}, const Headers& headers = {}) {
    send(status, "application/problem+json", problem_json(status, detail, members), headers);
  }
};

HttpApi::HttpApi(SharedLink& link, const Access& access, bool loopback_only, const QString& web_folder,
                 std::vector<std::string> resolutions, const HttpLimits& limits, QObject* parent)
    : QAbstractHttpServer(parent),
      link_(link),
      loopback_only_(loopback_only),
      access_(access),
      limits_(limits),
      resolutions_(std::move(resolutions)) {
  load_web_files(web_folder);
}

HttpApi::~HttpApi() = default;

bool HttpApi::listen_on(const QHostAddress& address, quint16 port, QString* error) {
  auto* guard = new HttpGuard(access_, loopback_only_, limits_, this);
  if (!guard->listen(address, port)) {
    *error = guard->errorString();
    delete guard;
    return false;
  }
  guard_ = guard;
  port_ = guard->serverPort();
  bind(guard);
  return true;
}

void HttpApi::load_web_files(const QString& folder) {
  static const QHash<QString, QByteArray> kTypes{{"html", "text/html; charset=utf-8"},
                                                 {"css", "text/css; charset=utf-8"},
                                                 {"js", "text/javascript; charset=utf-8"},
                                                 {"svg", "image/svg+xml"},
                                                 {"png", "image/png"},
                                                 {"webmanifest", "application/manifest+json"}};
  const QDir dir(folder);
  for (const QString& name : dir.entryList(QDir::Files | QDir::Readable)) {
    const QString suffix = name.section('.', -1);
    if (!kTypes.contains(suffix)) continue;
    QFile file(dir.filePath(name));
    if (file.size() > (4 << 20) || !file.open(QIODevice::ReadOnly)) continue;
    files_.insert(name, WebFile{kTypes[suffix], file.readAll()});
  }
  // The program's own icon, whatever the folder holds.
  if (!files_.contains(QStringLiteral("favicon.svg")))
    files_.insert(QStringLiteral("favicon.svg"), WebFile{kTypes["svg"], resource(QStringLiteral("favicon.svg"))});
}

QByteArray HttpApi::etag(const QByteArray& document) {
  return '"' + QCryptographicHash::hash(document, QCryptographicHash::Sha256).toHex().left(32) + '"';
}

QJsonObject HttpApi::state_json() const {
  QJsonObject document = to_json(link_.device().state(), resolutions_);
  document.insert(QLatin1String(kLinkKey), link_.status().to_json());
  return document;
}

QByteArray HttpApi::state_document() const { return json_text(state_json()); }

bool HttpApi::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
  // A WebSocket handshake the guard let through: Qt hands the socket to the
  // event stream, which looks at its token. Nothing is answered here.
  if (request.value("Upgrade").trimmed().compare("websocket", Qt::CaseInsensitive) == 0) return true;
  using Method = QHttpServerRequest::Method;
  const HttpGuard::Taken taken = guard_->take_request(socket);
  Reply reply{makeResponder(request, socket), socket, guard_, request.method() == Method::Head, taken.close};
  // Answers keep the order of the requests: one sent before the answer to
  // the one before it is not answered, and the connection closes after that
  // answer (a client that pipelines sends it again).
  if (taken.behind) {
    guard_->answered(socket, true);
    return true;
  }
  const QString path = request.url().path();
  const bool read = request.method() == Method::Get || request.method() == Method::Head;
  auto not_allowed = [&](const QByteArray& allow) {
    reply.problem(405, QStringLiteral("%1 takes %2").arg(path, QString::fromLatin1(allow)), {}, {{"Allow", allow}});
  };
  auto description = [&](const QString& name, const QByteArray& type) {
    if (read) reply.send(200, type, resource(name));
    else not_allowed("GET, HEAD");
  };
  if (!path.startsWith(QLatin1String("/api/"))) {
    serve_file(request, reply);
  } else if (path == kStatePath) {
    if (read) get_state(request, reply);
    else if (request.method() == Method::Patch) patch_state(request, std::move(reply));
    else not_allowed("GET, HEAD, PATCH");
  } else if (path == kSendPath) {
    if (request.method() == Method::Post) send_line(request, std::move(reply));
    else not_allowed("POST");
  } else if (path == kOpenApiPath) {
    description(QStringLiteral("openapi.json"), "application/vnd.oai.openapi+json;version=3.1");
  } else if (path == kSchemaPath) {
    description(QStringLiteral("state.schema.json"), "application/schema+json");
  } else if (path == kParametersPath) {
    // What each value of the state is and which values it takes: the web panel's choices.
    if (read) reply.send(200, "application/json", json_text(parameters_description(resolutions_)));
    else not_allowed("GET, HEAD");
  } else if (path == kHealthPath) {
    // For monitors: 200 while the device answers, 503 otherwise; the body says where the link stands.
    if (read) reply.send(link_.up() ? 200 : 503, "application/json",
                         json_text({{QLatin1String(kLinkKey), link_.status().to_json()}}));
    else not_allowed("GET, HEAD");
  } else if (path == kEventsPath) {
    reply.problem(426, QStringLiteral("the events come over a WebSocket"), {}, {{"Upgrade", "websocket"}});
  } else {
    reply.problem(404, QStringLiteral("no such resource: %1").arg(path));
  }
  return true;
}

void HttpApi::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
  const HttpGuard::Taken taken = guard_->take_request(socket);
  Reply reply{makeResponder(request, socket), socket, guard_, false, true};
  if (taken.behind) return guard_->answered(socket, true);
  reply.problem(404, QStringLiteral("no such resource"));
}

void HttpApi::serve_file(const QHttpServerRequest& request, Reply& reply) {
  static const QRegularExpression kName(QStringLiteral("^/([a-z0-9_-]+\\.[a-z]+)$"));
  const QString path = request.url().path();
  const auto match = kName.match(path);
  const QString name = path == QLatin1String("/") ? QStringLiteral("index.html") : match.captured(1);
  const auto it = files_.constFind(name);
  if (name.isEmpty() || it == files_.constEnd())
    return reply.problem(404, QStringLiteral("no such file: %1").arg(path));
  if (request.method() != QHttpServerRequest::Method::Get && request.method() != QHttpServerRequest::Method::Head)
    return reply.problem(405, QStringLiteral("files are read with GET"), {}, {{"Allow", "GET, HEAD"}});
  // The page loads its own files and talks to this server only.
  reply.send(200, it->type, it->body,
             {{"Content-Security-Policy",
               "default-src 'self'; connect-src 'self'; img-src 'self' data:; frame-ancestors 'none'"},
              {"Referrer-Policy", "no-referrer"}});
}

void HttpApi::get_state(const QHttpServerRequest& request, Reply& reply) {
  const QByteArray body = state_document();
  const QByteArray tag = etag(body);
  const QByteArray if_none = request.value("If-None-Match");
  reply.send(!if_none.isEmpty() && names_tag(if_none, tag) ? 304 : 200, "application/json", body, {{"ETag", tag}});
}

void HttpApi::patch_state(const QHttpServerRequest& request, Reply&& reply) {
  const QJsonObject usage{{"exit_code", exit_code::Usage}};
  if (!json_body(request))
    return reply.problem(415, QStringLiteral("the body must be JSON (Content-Type: application/json)"), usage);
  QJsonParseError parse;
  const QJsonDocument doc = QJsonDocument::fromJson(request.body(), &parse);
  if (parse.error != QJsonParseError::NoError || !doc.isObject()) {
    const QString why = parse.error != QJsonParseError::NoError
                            ? QStringLiteral("the body is no JSON: %1 at byte %2").arg(parse.errorString()).arg(parse.offset)
                            : QStringLiteral("the body is no JSON object");
    return reply.problem(
        400, why,
        {{"exit_code", exit_code::Usage},
         {"errors", QJsonArray{QJsonObject{{"path", QString()}, {"pointer", QString()}, {"message", why}}}}});
  }
  // A precondition is weighed inside the job: against the model as it is
  // when the change would be made.
  const QByteArray if_match = request.value("If-Match");
  // ?dry_run=true: the changes it would make, planned on the model; nothing is sent.
  const QString dry = QUrlQuery(request.url()).queryItemValue(QStringLiteral("dry_run"));
  if (!dry.isEmpty() && dry != QLatin1String("true") && dry != QLatin1String("false"))
    return reply.problem(400, QStringLiteral("dry_run is true or false"), usage);
  const bool dry_run = dry == QLatin1String("true");
  auto shared = std::make_shared<Reply>(std::move(reply));
  const void* origin = shared->socket.data();
  link_.enqueue([this, shared, if_match, dry_run, body = request.body()] { return patch_job(shared, if_match, body, dry_run); },
                origin);
}

QCoro::Task<> HttpApi::patch_job(std::shared_ptr<Reply> reply, QByteArray if_match, QByteArray body, bool dry_run) {
  if (!if_match.isEmpty()) {
    const QByteArray now = etag(state_document());
    if (!names_tag(if_match, now)) {
      reply->problem(412,
                     QStringLiteral("the device's state changed since it was read (its ETag is now %1); "
                                    "nothing was sent")
                         .arg(QString::fromLatin1(now)),
                     {{"etag", QString::fromLatin1(now)}}, {{"ETag", now}});
      co_return;
    }
  }
  const PatchOutcome outcome = co_await hub::patch_state(link_, body, dry_run);
  const int status = http_status(outcome.exit_code);
  if (status == 200) reply->send(200, "application/json", json_text(outcome.report));
  else reply->problem(status, report_detail(outcome.report), report_members(outcome.report));
}

void HttpApi::send_line(const QHttpServerRequest& request, Reply&& reply) {
  const QJsonObject usage{{"exit_code", exit_code::Usage}};
  if (!json_body(request))
    return reply.problem(415, QStringLiteral("the body must be JSON (Content-Type: application/json)"), usage);
  QJsonParseError parse;
  const QJsonDocument doc = QJsonDocument::fromJson(request.body(), &parse);
  if (parse.error != QJsonParseError::NoError || !doc.isObject())
    return reply.problem(400, QStringLiteral("the body is no JSON object: %1").arg(parse.errorString()), usage);
  const QJsonObject body = doc.object();
  const QJsonValue line = body.value(QStringLiteral("line"));
  if (body.size() != 1 || !line.isString())
    return reply.problem(422, QStringLiteral("the body is {\"line\": \"COMMAND\"}"), usage);
  // A line is sent as given or not at all: nothing beyond printable ASCII
  // is turned into something else on its way.
  const QString text = line.toString();
  const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
  const QByteArray bytes = text.toLatin1();
  const std::optional<Command> command =
      ascii ? check_command(std::string_view(bytes.constData(), bytes.size())) : std::nullopt;
  if (!command)
    return reply.problem(422, QStringLiteral("not a command of the device: %1").arg(text), usage);
  auto shared = std::make_shared<Reply>(std::move(reply));
  const void* origin = shared->socket.data();
  link_.enqueue([this, shared, command = *command] { return send_job(shared, command); }, origin);
}

QCoro::Task<> HttpApi::send_job(std::shared_ptr<Reply> reply, Command command) {
  const SharedLink::Result result = co_await link_.carry(command, this);
  const QJsonValue said = result.reply.isEmpty() ? QJsonValue() : QJsonValue(QString::fromLatin1(result.reply));
  const QString line = QString::fromStdString(command.line);
  switch (result.outcome) {
    case ExchangeOutcome::Answered:
      reply->send(200, "application/json", json_text({{"reply", said}}));
      break;
    case ExchangeOutcome::DeviceError:
      reply->problem(409, QStringLiteral("the device refused %1 (ERR)").arg(line),
                     {{"reply", said}, {"exit_code", exit_code::Refused}});
      break;
    case ExchangeOutcome::NoAnswer:
      reply->problem(504, QStringLiteral("the device did not answer %1").arg(line),
                     {{"reply", said}, {"exit_code", exit_code::NoAnswer}});
      break;
    default:
      reply->problem(503, QStringLiteral("the link to the device is not open"),
                     {{"reply", said}, {"exit_code", exit_code::LinkError}});
      break;
  }
}

}  // namespace quadrel::hub
