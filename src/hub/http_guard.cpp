#include "hub/http_guard.h"

#include <QElapsedTimer>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QMetaEnum>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <sys/socket.h>

#include "hub/access.h"
#include "hub/hub_log.h"

namespace quadrel::hub {

namespace {

const QByteArray kEventsPath = QByteArrayLiteral("/api/v1/events");
// The methods the API and the web panel's files are reached by; any other is
// answered 501 before Qt sees it.
const QByteArray kMethods[] = {"GET", "HEAD", "POST", "PUT", "PATCH", "DELETE", "OPTIONS"};

bool is_tchar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c != 0 && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

bool is_token(const QByteArray& text) {
  return !text.isEmpty() && std::all_of(text.begin(), text.end(), is_tchar);
}

// A field value: visible characters, spaces and tabs, and bytes beyond ASCII.
bool is_field_value(const QByteArray& text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u == '\t' || (u >= 0x20 && u != 0x7f);
  });
}

QByteArray seconds(int ms) { return QByteArray::number(ms / 1000.0, 'g', 3) + " s"; }

}  // namespace

QByteArray RequestHead::value(const QByteArray& name) const {
  for (const auto& [key, text] : fields)
    if (key == name) return text;
  return {};
}

int RequestHead::count(const QByteArray& name) const {
  return static_cast<int>(std::count_if(fields.begin(), fields.end(), [&](const auto& f) { return f.first == name; }));
}

bool RequestHead::has_token(const QByteArray& name, const QByteArray& token) const {
  for (const auto& [key, text] : fields) {
    if (key != name) continue;
    for (const QByteArray& part : text.split(','))
      if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

QByteArray status_text(int status) {
  // Qt's names of the statuses, "PayloadTooLarge", in words.
  const char* key = QMetaEnum::fromType<QHttpServerResponder::StatusCode>().valueToKey(status);
  if (!key) return QByteArrayLiteral("Error");
  QByteArray text;
  for (const char* c = key; *c; ++c) {
    if (c != key && *c >= 'A' && *c <= 'Z' && !(c[-1] >= 'A' && c[-1] <= 'Z')) text += ' ';
    text += *c;
  }
  if (text.startsWith("Http ")) text.replace(0, 4, "HTTP");
  return text;
}

QByteArray problem_json(int status, const QString& detail, const QJsonObject& extensions) {
  QJsonObject problem = extensions;
  problem.insert(QStringLiteral("type"), QStringLiteral("about:blank"));
  problem.insert(QStringLiteral("title"), QString::fromLatin1(status_text(status)));
  problem.insert(QStringLiteral("status"), status);
  problem.insert(QStringLiteral("detail"), detail);
  return QJsonDocument(problem).toJson(QJsonDocument::Compact) + '\n';
}

// What every connection of the port shares: the slots, and who holds them.
struct HttpGuard::Shared {
  int limit = 0;  // of HTTP connections
  bool closing = false;
  int http = 0;
  int events = 0;
  int refusing = 0;
  bool full_told = false;
  QHash<const QTcpSocket*, Connection*> open;
};

// One connection: reads each request's head as it comes, before Qt's own
// reading of the same bytes (its slot runs first), and refuses what must not
// reach Qt; keeps the time-outs; closes so that the last answer is delivered.
class HttpGuard::Connection : public QObject {
 public:
  enum class Kind { Http, Event, Refusing, None };
  enum class Phase { Idle, Head, Body, Draining, Closing, Upgraded };

  Connection(HttpGuard& guard, QTcpSocket* socket, Kind kind)
      : QObject(socket), guard_(guard), shared_(guard.shared_), socket_(socket), kind_(kind) {
    hold(kind_, +1);
    shared_->open.insert(socket_, this);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &Connection::time_out);
    take_check_.setSingleShot(true);
    connect(&take_check_, &QTimer::timeout, this, [this] {
      if (taken_ >= passed_ || phase_ == Phase::Closing || phase_ == Phase::Upgraded) return;
      log_event(QStringLiteral("HTTP: the server did not take a request the guard passed; connection closed"));
      abort();
    });
    connect(socket_, &QTcpSocket::readyRead, this, &Connection::look);
    connect(socket_, &QTcpSocket::disconnected, this, [this] { socket_->deleteLater(); });
    connect(socket_, &QTcpSocket::bytesWritten, this, &Connection::half_close);
    if (kind_ == Kind::Refusing) {
      write_problem(503, QStringLiteral("this hub serves %1 connections at once; try again shortly")
                             .arg(guard_.limits_.connections),
                    {{"Retry-After", QByteArray::number(guard_.limits_.retry_after_s)}});
      finish();
    } else {
      become_idle();
    }
  }

  ~Connection() override {
    hold(kind_, -1);
    shared_->open.remove(socket_);
  }

  // Gives up the connection's slot at once (it is being closed).
  void release() {
    hold(kind_, -1);
    kind_ = Kind::None;
  }

  bool evictable(int after_ms) const {
    return kind_ == Kind::Http && phase_ == Phase::Idle && request_bytes_ == 0 && outstanding() == 0 &&
           idle_.isValid() && idle_.elapsed() >= after_ms;
  }
  qint64 idle_ms() const { return idle_.elapsed(); }

  // Closes an idle connection to make room for a newcomer: it has nothing
  // to read or to be told.
  void evict() { abort(); }

  Taken take_request() {
    ++taken_;
    Taken taken;
    // Answers keep the order of the requests, and none follows the answer
    // to a request that asked to close.
    taken.behind = answered_ < taken_ - 1 || client_closes_;
    if (!passed_sizes_.empty()) {
      taken.close = passed_sizes_.front().close;
      passed_sizes_.pop_front();
    }
    if (taken.close) client_closes_ = true;
    return taken;
  }

  void answered(bool close) {
    ++answered_;
    if (close) close_after_ = true;
    if (outstanding() > 0) return;
    if (close_after_) return finish();
    if (phase_ == Phase::Idle && request_bytes_ == 0) become_idle();
  }

  // The answer being written is the last one: the connection closes after it.
  bool closing() const { return close_after_ && answered_ + 1 >= passed_; }

 private:
  int outstanding() const { return passed_ - answered_; }

  void hold(Kind kind, int n) {
    switch (kind) {
      case Kind::Http: shared_->http += n; break;
      case Kind::Event: shared_->events += n; break;
      case Kind::Refusing: shared_->refusing += n; break;
      case Kind::None: break;
    }
    if (n < 0 && shared_->full_told && !shared_->closing && shared_->http < shared_->limit) {
      shared_->full_told = false;
      log_event(QStringLiteral("HTTP: connection slots free again"));
    }
  }

  void become_idle() {
    phase_ = Phase::Idle;
    idle_.start();
    if (outstanding() == 0) timer_.start(guard_.limits_.idle_ms);
    else timer_.stop();  // the hub is at work on an answer: no time limit of the client's
  }

  void look() {
    if (phase_ == Phase::Draining || phase_ == Phase::Closing) {
      // Nobody reads it any more; a client that goes on sending after its
      // answer is cut off once it has sent this much.
      drained_ += socket_->skip(socket_->bytesAvailable());
      if (drained_ > kMaxDrained) abort();
      return;
    }
    if (phase_ == Phase::Upgraded) return;
    // Qt reads all it is given, except that it answers one request per turn
    // of the event loop: requests it has not taken yet, and what came after
    // them, are still in front of what is new.
    qint64 seen = 0;
    if (taken_ < passed_) {
      for (const Passed& p : passed_sizes_) seen += p.size;
      seen += request_bytes_;
    }
    const QByteArray fresh = socket_->peek(socket_->bytesAvailable()).mid(seen);
    qsizetype pos = 0;
    while (pos < fresh.size() && (phase_ == Phase::Idle || phase_ == Phase::Head || phase_ == Phase::Body)) {
      if (phase_ == Phase::Body) {
        const qint64 take = std::min<qint64>(body_left_, fresh.size() - pos);
        body_left_ -= take;
        pos += take;
        request_bytes_ += take;
        if (body_left_ == 0) pass();
        continue;
      }
      if (phase_ == Phase::Idle) {
        phase_ = Phase::Head;
        head_size_ = 0;
        head_ = {};
        request_line_ = true;
        timer_.start(guard_.limits_.head_ms);
      }
      const qsizetype end = fresh.indexOf('\n', pos);
      const qsizetype taken = (end < 0 ? fresh.size() : end + 1) - pos;
      head_size_ += taken;
      request_bytes_ += taken;
      if (head_size_ > guard_.limits_.max_head)
        return refuse(431, QStringLiteral("a request's line and header fields may hold %1 bytes")
                               .arg(guard_.limits_.max_head));
      line_.append(fresh.constData() + pos, taken);
      pos += taken;
      if (end < 0) return;
      QByteArray line = std::exchange(line_, {});
      line.chop(line.endsWith("\r\n") ? 2 : 1);
      if (!read_line(line)) return;
    }
  }

  // One line of a head, without its end; false once the connection is refused.
  bool read_line(const QByteArray& line) {
    if (request_line_) {
      if (line.isEmpty() && head_size_ <= 4) return true;  // empty lines before a request are nothing
      request_line_ = false;
      const QList<QByteArray> parts = line.split(' ');
      static const QByteArray kHttp("HTTP/");
      const QByteArray version = parts.value(2);
      const bool version_form = version.size() == 8 && version.startsWith(kHttp) && version[6] == '.' &&
                                std::isdigit(static_cast<unsigned char>(version[5])) &&
                                std::isdigit(static_cast<unsigned char>(version[7]));
      if (parts.size() != 3 || !is_token(parts[0]) || !version_form)
        return refuse(400, QStringLiteral("a request line is METHOD /PATH HTTP/1.1")), false;
      if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return refuse(505, QStringLiteral("this hub speaks HTTP/1.1 (and 1.0), not %1")
                               .arg(QString::fromLatin1(version))),
               false;
      if (std::find(std::begin(kMethods), std::end(kMethods), parts[0]) == std::end(kMethods))
        return refuse(501, QStringLiteral("this hub knows no %1 requests").arg(QString::fromLatin1(parts[0]))),
               false;
      const QByteArray& target = parts[1];
      const bool target_form = target.startsWith('/') && !target.contains('#') &&
                               std::all_of(target.begin(), target.end(), [](char c) { return c > 0x20 && c < 0x7f; });
      if (!target_form) return refuse(400, QStringLiteral("a request's target is a path: /api/v1/state")), false;
      head_.method = parts[0];
      head_.target = target;
      head_.minor_version = version[7] - '0';
      return true;
    }
    if (line.isEmpty()) return end_of_head();
    if (line.startsWith(' ') || line.startsWith('\t'))
      return refuse(400, QStringLiteral("a header field folded onto a second line")), false;
    const qsizetype colon = line.indexOf(':');
    const QByteArray name = line.left(colon);
    if (colon <= 0 || !is_token(name))
      return refuse(400, QStringLiteral("a header field is NAME: VALUE, the name without spaces")), false;
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (!is_field_value(value))
      return refuse(400, QStringLiteral("the header field %1 holds control characters").arg(QString::fromLatin1(name))),
             false;
    if (head_.fields.size() >= guard_.limits_.max_fields)
      return refuse(431, QStringLiteral("a request may have %1 header fields").arg(guard_.limits_.max_fields)), false;
    head_.fields.append({name.toLower(), value});
    return true;
  }

  // The head is whole: what it asks is checked before a byte of its body is taken.
  bool end_of_head() {
    const RequestHead& h = head_;
    const Access& access = guard_.access_;
    for (const QByteArray name : {"host", "authorization", "origin", "content-length", "upgrade"})
      if (h.count(name) > 1)
        return refuse(400, QStringLiteral("the header field %1 is given twice").arg(QString::fromLatin1(name))), false;
    if (h.count("host") == 0) return refuse(400, QStringLiteral("a request names its Host")), false;
    // Framing: one way to know where a body ends, or the request is refused.
    if (h.count("transfer-encoding") > 0) {
      if (h.count("transfer-encoding") > 1 || h.count("content-length") > 0 || h.value("transfer-encoding").contains(','))
        return refuse(400, QStringLiteral("the body's framing is ambiguous (Transfer-Encoding given twice, or with "
                                          "Content-Length)")),
               false;
      return refuse(411, QStringLiteral("a body needs its Content-Length")), false;
    }
    qint64 length = 0;
    if (h.count("content-length") > 0) {
      const QByteArray text = h.value("content-length");
      bool ok = !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
      length = ok ? text.toLongLong(&ok) : 0;
      if (!ok) return refuse(400, QStringLiteral("a Content-Length that is no length")), false;
    }
    if (const QString why = Access::site_refusal(h.value("host"), h.value("origin"), guard_.loopback_only_);
        !why.isEmpty())
      return refuse(403, why), false;
    // Qt upgrades a request whose Upgrade is "websocket" alone, and no other.
    const bool websocket = h.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
    if (!websocket && h.has_token("upgrade", "websocket"))
      return refuse(400, QStringLiteral("a WebSocket handshake names websocket alone in Upgrade")), false;
    const bool api = h.target.startsWith("/api/");
    // A page's WebSocket may name the token in its first message instead.
    const bool token_later = websocket && !h.count("authorization");
    if (api && !token_later && !access.authorized(h.value("authorization")))
      return refuse(401, QStringLiteral("this hub needs its token: Authorization: Bearer TOKEN"),
                    {{"WWW-Authenticate", "Bearer"}}),
             false;
    if (length > guard_.limits_.max_body)
      return refuse(413, QStringLiteral("a body may hold %1 bytes at most").arg(guard_.limits_.max_body)), false;
    if (websocket) return upgrade(length), false;
    if (h.count("expect") > 0) {
      if (h.value("expect").compare("100-continue", Qt::CaseInsensitive) != 0)
        return refuse(417, QStringLiteral("the hub meets no Expect but 100-continue")), false;
      if (length > 0 && outstanding() == 0) socket_->write("HTTP/1.1 100 Continue\r\n\r\n");
    }
    // HTTP/1.0 closes unless kept alive; another protocol is not taken up.
    close_wanted_ = h.has_token("connection", "close") || h.count("upgrade") > 0 ||
                    (h.minor_version == 0 && !h.has_token("connection", "keep-alive"));
    body_left_ = length;
    if (length == 0) {
      pass();
    } else {
      phase_ = Phase::Body;
      timer_.start(guard_.limits_.body_ms);
    }
    return phase_ != Phase::Draining;
  }

  // A WebSocket handshake, whole and for the event stream, goes to Qt, which
  // hands the socket to the event stream; nothing else of it is the guard's.
  void upgrade(qint64 length) {
    const RequestHead& h = head_;
    if (h.path() != kEventsPath)
      return refuse(404, QStringLiteral("no WebSocket here: the events are at %1").arg(QString::fromLatin1(kEventsPath)));
    if (h.method != "GET" || length > 0 || !h.has_token("connection", "upgrade"))
      return refuse(400, QStringLiteral("a WebSocket handshake is GET with Connection: Upgrade, and no body"));
    if (h.value("sec-websocket-version") != "13")
      return refuse(426, QStringLiteral("the event stream speaks WebSocket version 13"),
                    {{"Sec-WebSocket-Version", "13"}});
    if (QByteArray::fromBase64(h.value("sec-websocket-key")).size() != 16)
      return refuse(400, QStringLiteral("a WebSocket handshake needs its Sec-WebSocket-Key"));
    if (outstanding() > 0) return refuse(400, QStringLiteral("a WebSocket handshake waits for the answers before it"));
    if (shared_->events >= guard_.limits_.event_clients)
      return refuse(503, QStringLiteral("the event stream has %1 clients already; try again shortly")
                             .arg(guard_.limits_.event_clients),
                    {{"Retry-After", QByteArray::number(guard_.limits_.retry_after_s)}});
    // Qt's upgrade disconnects every signal of the socket; this object stays
    // its child, and gives the slot back when the socket goes.
    hold(kind_, -1);
    kind_ = Kind::Event;
    hold(kind_, +1);
    phase_ = Phase::Upgraded;
    timer_.stop();
    take_check_.stop();
    socket_->disconnect(this);
  }

  // The request goes to Qt, whose reading of the same bytes follows. What
  // comes after it is read on as before, whatever it asked: Qt reads no
  // byte that the guard has not.
  void pass() {
    ++passed_;
    passed_sizes_.push_back({request_bytes_, close_wanted_});
    request_bytes_ = 0;
    if (close_wanted_) close_after_ = true;
    become_idle();
    // Qt takes a request at once, or one turn of the event loop after the
    // one before it: one it does not take means that it read the bytes
    // otherwise. Never seen, but the connection is not left hanging on it.
    take_check_.start(kTakeMs);
  }

  void abort() {
    release();
    timer_.stop();
    phase_ = Phase::Closing;
    socket_->abort();
    socket_->deleteLater();
  }

  void time_out() {
    switch (phase_) {
      case Phase::Idle:
        return finish();  // nothing begun: closed without a word
      case Phase::Head:
        return refuse(408, QStringLiteral("a request's head must be whole within %1")
                               .arg(QString::fromLatin1(seconds(guard_.limits_.head_ms))));
      case Phase::Body:
        return refuse(408, QStringLiteral("a request's body must be whole within %1")
                               .arg(QString::fromLatin1(seconds(guard_.limits_.body_ms))));
      case Phase::Closing:
        // The client took nothing of its last answer.
        socket_->abort();
        socket_->deleteLater();
        return;
      case Phase::Draining:
      case Phase::Upgraded:
        return;
    }
  }

  // Refuses the request being read: the answer, then the connection closes.
  // Behind an answer still to come, nothing is said (answers keep their
  // order): the connection closes after that answer.
  void refuse(int status, const QString& detail, const QList<QPair<QByteArray, QByteArray>>& headers = {}) {
    // Requests Qt has not taken yet are in front of this one, which must not
    // reach it: the connection ends here, their answers with it.
    if (taken_ < passed_) return abort();
    socket_->skip(socket_->bytesAvailable());  // Qt reads none of it
    line_.clear();
    request_bytes_ = 0;
    close_after_ = true;
    if (outstanding() > 0) {
      phase_ = Phase::Draining;
      timer_.stop();
      return;
    }
    write_problem(status, detail, headers);
    finish();
  }

  // The guard's own answers, before Qt has a request to answer: the one
  // place where a status line is written by hand.
  void write_problem(int status, const QString& detail, const QList<QPair<QByteArray, QByteArray>>& headers) {
    const QByteArray body = problem_json(status, detail);
    QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + ' ' + status_text(status) + "\r\n";
    text += "Content-Type: application/problem+json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    text += "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\nConnection: close\r\n";
    for (const auto& [name, value] : headers) text += name + ": " + value + "\r\n";
    socket_->write(text + "\r\n" + (head_.method == "HEAD" ? QByteArray() : body));
  }

  // The last answer goes out, then this side closes; what the client still
  // sends is read and dropped until it closes too, so that its system does
  // not throw the answer away (a close with unread bytes resets).
  void finish() {
    if (phase_ == Phase::Closing) return;
    phase_ = Phase::Closing;
    timer_.start(guard_.limits_.linger_ms);
    half_close();
  }

  void half_close() {
    if (phase_ != Phase::Closing || half_closed_ || socket_->bytesToWrite() > 0) return;
    half_closed_ = true;
    if (socket_->state() != QAbstractSocket::ConnectedState) return;
    ::shutdown(static_cast<int>(socket_->socketDescriptor()), SHUT_WR);
  }

  HttpGuard& guard_;
  std::shared_ptr<Shared> shared_;
  QTcpSocket* socket_;
  Kind kind_;
  Phase phase_ = Phase::Idle;
  QTimer timer_;
  QTimer take_check_;
  QElapsedTimer idle_;
  QByteArray line_;
  qint64 head_size_ = 0;
  bool request_line_ = true;
  RequestHead head_;
  qint64 body_left_ = 0;
  qint64 request_bytes_ = 0;  // of the request being read, head and body
  bool close_wanted_ = false;
  bool close_after_ = false;    // the connection closes after the last answer
  bool client_closes_ = false;  // a request taken asked to close after it
  bool half_closed_ = false;
  int passed_ = 0;
  int taken_ = 0;
  int answered_ = 0;
  struct Passed {
    qint64 size;
    bool close;
  };
  std::deque<Passed> passed_sizes_;  // passed, not yet taken
  static constexpr int kTakeMs = 2000;
  static constexpr qint64 kMaxDrained = 1 << 20;
  qint64 drained_ = 0;
};

HttpGuard::HttpGuard(const Access& access, bool loopback_only, const HttpLimits& limits, QObject* parent)
    : QTcpServer(parent),
      access_(access),
      loopback_only_(loopback_only),
      limits_(limits),
      shared_(std::make_shared<Shared>()) {
  shared_->limit = limits_.connections;
  setMaxPendingConnections(limits_.connections);
  // A burst of connections waits in the system's queue, not refused by it.
  setListenBacklogSize(limits_.connections + limits_.event_clients + limits_.refusing);
}

// The connections, children of their sockets, may outlive this object's
// members: they hold only the shared part.
HttpGuard::~HttpGuard() { shared_->closing = true; }

int HttpGuard::connections() const { return shared_->http; }
int HttpGuard::event_clients() const { return shared_->events; }

HttpGuard::Taken HttpGuard::take_request(QTcpSocket* socket) {
  Connection* c = shared_->open.value(socket);
  return c ? c->take_request() : Taken{};
}

void HttpGuard::answered(QTcpSocket* socket, bool close) {
  if (Connection* c = shared_->open.value(socket)) c->answered(close);
}

bool HttpGuard::closing(QTcpSocket* socket) const {
  const Connection* c = shared_->open.value(socket);
  return !c || c->closing();
}

bool HttpGuard::make_room() {
  Connection* longest = nullptr;
  for (Connection* c : std::as_const(shared_->open))
    if (c->evictable(limits_.evict_after_ms) && (!longest || c->idle_ms() > longest->idle_ms())) longest = c;
  if (!longest) return false;
  longest->evict();
  return true;
}

void HttpGuard::incomingConnection(qintptr descriptor) {
  auto* socket = new QTcpSocket(this);
  if (!socket->setSocketDescriptor(descriptor)) return socket->deleteLater();
  if (shared_->http >= limits_.connections && !make_room()) {
    if (!shared_->full_told) {
      shared_->full_told = true;
      log_event(QStringLiteral("HTTP: %1 connections already; newcomers are told 503 until one ends")
                    .arg(limits_.connections));
    }
    if (shared_->refusing >= limits_.refusing) {
      socket->abort();
      socket->deleteLater();
      return;
    }
    new Connection(*this, socket, Connection::Kind::Refusing);  // never seen by Qt
    return;
  }
  new Connection(*this, socket, Connection::Kind::Http);
  addPendingConnection(socket);
}

}  // namespace quadrel::hub
