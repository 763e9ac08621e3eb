// quadrel-hub in this process on the simulated Corvane, and plain clients of
// its protocol port and its HTTP API over real loopback sockets.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "hub/event_stream.h"
#include "hub/http_api.h"
#include "hub/hub.h"
#include "hub/hub_log.h"
#include "hub/protocol_port.h"
#include "sim_server.h"
#include "spin.h"

namespace quadrel::test {

struct HubRig {
  // The simulator's pseudo-terminal is reached through a link of this rig's
  // own, gone once the line is unplugged: a hub trying the line again never
  // opens a terminal that another test has since been given under the same name.
  QTemporaryDir pty_dir;
  corvane::SimServer sim;
  std::unique_ptr<hub::Hub> hub;

  // The hub on ports of its own choice, linked to the simulator over TCP
  // (`adjust` may change that: the simulator's pseudo-terminal is open too);
  // returns once the model is read (with `wait_up`).
  explicit HubRig(const std::function<void(hub::HubOptions&, corvane::SimServer&)>& adjust = {},
                  bool wait_up = true) {
    hub::set_log_quiet(qEnvironmentVariableIsEmpty("QUADREL_HUB_LOG"));
    QString error;
    corvane::SimServer::Options sim_options;
    sim_options.pty_link = pty_dir.filePath(QStringLiteral("corvane-tty"));
    if (!sim.start(sim_options, &error)) qFatal("simulator: %s", qPrintable(error));
    sim.device().state().resolution_count = 19;
    hub::HubOptions o;
    o.target.tcp = true;
    o.target.host = QStringLiteral("127.0.0.1");
    o.target.port = sim.tcp_port();
    o.listen_port = 0;
    o.http_port = 0;
    o.web_folder = QStringLiteral(QUADREL_SOURCE_DIR "/share/hub/web");
    o.resolutions = {"640x480", "800x600", "1024x768"};
    if (adjust) adjust(o, sim);
    hub = std::make_unique<hub::Hub>(o);
    if (!hub->start(&error)) qFatal("hub: %s", qPrintable(error));
    // Up, and done with what its first reading set going.
    if (wait_up && !spin_until([this] { return hub->link().up() && hub->link().queued() == 0; }, 5000))
      qFatal("hub: the link is not up");
    sim.clear_log();
  }

  void faults(const std::function<void(corvane::Faults&)>& change) {
    corvane::Faults f = sim.faults();
    change(f);
    sim.set_faults(f);
  }
  quint16 port() { return hub->protocol_port().port(); }
  quint16 http_port() { return hub->http().port(); }
};

// A token file as a user would write one, only its owner's: its path.
inline QString token_file(const QTemporaryDir& dir, const QByteArray& token = "correct-horse-battery-staple") {
  QFile file(dir.filePath(QStringLiteral("token")));
  if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner)) return {};
  file.write(token + '\n');
  return file.fileName();
}

// A client of the device's own protocol: lines out, lines in.
class LineClient {
 public:
  explicit LineClient(quint16 port) {
    socket_.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket_.waitForConnected(2000)) qFatal("no connection to the protocol port");
    QObject::connect(&socket_, &QTcpSocket::readyRead, [this] { take(); });
  }
  void send(const QByteArray& bytes) {
    socket_.write(bytes);
    socket_.flush();
  }
  void say(const QByteArray& line) { send(line + '\r'); }
  // Every line received so far, without the carriage returns.
  const QStringList& lines() const { return lines_; }
  void clear() { lines_.clear(); }
  bool wait_lines(int n, int ms = 2000) {
    return QTest::qWaitFor([&] { return lines_.size() >= n; }, ms);
  }
  bool connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
  bool wait_closed(int ms = 2000) {
    return QTest::qWaitFor([&] { return socket_.state() == QAbstractSocket::UnconnectedState; }, ms);
  }
  QTcpSocket& socket() { return socket_; }

 private:
  void take() {
    buffer_ += socket_.readAll();
    qsizetype end;
    while ((end = buffer_.indexOf('\r')) >= 0) {
      lines_ << QString::fromLatin1(buffer_.left(end));
      buffer_.remove(0, end + 1);
    }
  }
  QTcpSocket socket_;
  QByteArray buffer_;
  QStringList lines_;
};

// One HTTP/1.1 exchange on a fresh connection, written byte for byte as given.
struct HttpReply {
  int status = 0;
  QMap<QByteArray, QByteArray> headers;  // names in lower case
  QByteArray body;
};

inline HttpReply http_raw(quint16 port, const QByteArray& request, int ms = 8000) {
  QTcpSocket socket;
  socket.connectToHost(QStringLiteral("127.0.0.1"), port);
  if (!socket.waitForConnected(2000)) return {};
  socket.write(request);
  QByteArray in;
  HttpReply reply;
  (void)QTest::qWaitFor(
      [&] {
        in += socket.readAll();
        const qsizetype end = in.indexOf("\r\n\r\n");
        if (end < 0) return socket.state() == QAbstractSocket::UnconnectedState;
        const QList<QByteArray> head = in.left(end).split('\n');
        reply.status = head.value(0).split(' ').value(1).toInt();
        for (const QByteArray& line : head.mid(1)) {
          const qsizetype colon = line.indexOf(':');
          if (colon > 0) reply.headers[line.left(colon).trimmed().toLower()] = line.mid(colon + 1).trimmed();
        }
        reply.body = in.mid(end + 4);
        return reply.body.size() >= reply.headers.value("content-length").toLongLong() ||
               socket.state() == QAbstractSocket::UnconnectedState;
      },
      ms);
  return reply;
}

inline HttpReply http(quint16 port, const QByteArray& method, const QByteArray& path, const QByteArray& body = {},
                      const QList<QByteArray>& headers = {}) {
  QByteArray request = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                       "\r\nConnection: close\r\n";
  if (!body.isEmpty() || method == "PATCH" || method == "POST")
    request += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
  for (const QByteArray& header : headers) request += header + "\r\n";
  return http_raw(port, request + "\r\n" + body);
}

}  // namespace quadrel::test
