#include "hub/protocol_port.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTcpSocket>
#include <algorithm>

#include "hub/command_rules.h"
#include "hub/hub_log.h"
#include "hub/shared_link.h"

namespace quadrel::hub {

class ProtocolPort::Client : public QObject {
 public:
  explicit Client(QTcpSocket* socket) : socket(socket) {
    socket->setParent(this);
    name = QStringLiteral("client %1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
    quiet.start();
  }
  QTcpSocket* socket;
  QString name;
  QByteArray line;                     // the line being received
  int junk = 0;                        // lines in a row that were no command
  std::vector<std::string> waiting;    // codes of its commands not yet answered, in order
  QList<QList<QByteArray>> held;       // lines for it behind a reply it waits for
  std::optional<int> selected;         // the output channel it last selected
  std::optional<int> view;             // the output channel it takes for the device's current one
  QElapsedTimer quiet;                 // since its last line (or its connection)
  bool gone = false;
};

ProtocolPort::ProtocolPort(SharedLink& link, int evict_after_ms, QObject* parent)
    : QObject(parent), link_(link), evict_after_ms_(evict_after_ms) {
  connect(&server_, &QTcpServer::newConnection, this, &ProtocolPort::on_new_connection);
  connect(&link_, &SharedLink::report, this, [this](const QByteArray& line, Change change) {
    for (Client* c : std::vector<Client*>(clients_)) {
      if (change.aspect == Aspect::Channel) c->view = link_.device().state().channel;
      deliver(c, {line});
    }
  });
  // The port stands for the device: while the link is down it is closed, as
  // the device's own port is when the device is away. Its clients see the
  // connection drop, as they would at the device, and connect again once
  // it is back; a watch kept through the hub logs the outage.
  connect(&link_, &SharedLink::link_state, this, [this](bool up, const QString& reason) {
    if (up) return reopen();
    for (Client* c : std::vector<Client*>(clients_))
      cut_off(c, QStringLiteral("the link to the device closed (%1)").arg(reason));
    if (server_.isListening()) {
      log_event(QStringLiteral("protocol port: closed until the device is back"));
      server_.close();
    }
  });
  connect(&link_, &SharedLink::confirmed, this, [this](const QByteArray& line, Change change, const void* origin) {
    // Each client has its own selected output: another's selection is not its business.
    if (change.aspect == Aspect::Channel) return;
    const Device& device = link_.device();
    // The routing of one output (in the TV Wall: of all of them, index 0).
    const bool routing = change.aspect == Aspect::Routing && change.index != 0;
    const int channel = device.state().channel.value_or(1);
    const Parameter& out = row_of(Aspect::Channel);
    for (Client* c : std::vector<Client*>(clients_)) {
      if (c == origin) continue;
      // A routing change names its output first, and gives the client back its own.
      if (routing && c->view != channel) {
        QList<QByteArray> group{set_command(out, channel).c_str(), line};
        if (c->view) group.append(set_command(out, *c->view).c_str());
        else c->view = channel;
        deliver(c, group);
      } else {
        deliver(c, {line});
      }
    }
  });
}

ProtocolPort::~ProtocolPort() {
  for (Client* c : clients_) delete c;
}

bool ProtocolPort::listen(const QHostAddress& address, quint16 port, QString* error) {
  server_.setMaxPendingConnections(kMaxClients);
  server_.setListenBacklogSize(2 * kMaxClients);
  if (server_.listen(address, port)) {
    address_ = address;
    port_ = server_.serverPort();
    // Taken, and open once the device is reached.
    if (!link_.up()) server_.close();
    return true;
  }
  *error = server_.errorString();
  return false;
}

void ProtocolPort::reopen() {
  if (server_.isListening() || port_ == 0) return;
  if (server_.listen(address_, port_)) log_event(QStringLiteral("protocol port: open again"));
  else log_event(QStringLiteral("protocol port: cannot listen again on %1: %2").arg(port_).arg(server_.errorString()));
}

void ProtocolPort::on_new_connection() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    if (clients() >= kMaxClients && !make_room()) {
      log_event(QStringLiteral("protocol port: %1 clients already, none quiet for %2 s; %3:%4 refused")
                    .arg(kMaxClients)
                    .arg(evict_after_ms_ / 1000.0)
                    .arg(socket->peerAddress().toString())
                    .arg(socket->peerPort()));
      socket->abort();
      socket->deleteLater();
      continue;
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    auto* client = new Client(socket);
    clients_.push_back(client);
    log_event(QStringLiteral("protocol port: %1 connected (%2 in all)").arg(client->name).arg(clients()));
    connect(socket, &QTcpSocket::readyRead, client, [this, client] { on_ready_read(client); });
    connect(socket, &QTcpSocket::disconnected, client, [this, client] {
      log_event(QStringLiteral("protocol port: %1 left").arg(client->name));
      forget(client);
    });
  }
}

bool ProtocolPort::make_room() {
  Client* quietest = nullptr;
  for (Client* c : clients_) {
    if (!c->waiting.empty() || c->quiet.elapsed() < evict_after_ms_) continue;
    if (!quietest || c->quiet.elapsed() > quietest->quiet.elapsed()) quietest = c;
  }
  if (!quietest) return false;
  cut_off(quietest, QStringLiteral("a newcomer takes its place (%1 clients; it sent nothing for %2 s)")
                        .arg(kMaxClients)
                        .arg(quietest->quiet.elapsed() / 1000));
  return true;
}

void ProtocolPort::on_ready_read(Client* client) {
  // The commands run from the event loop, never inside this signal: a client
  // that leaves meanwhile is deleted only once nothing of it is on the stack.
  for (const char c : client->socket->readAll()) {
    if (client->gone) return;
    if (c == '\r' || c == '\n') {
      // A label command ends with two carriage returns, and scripts send
      // line feeds: empty lines are nothing.
      if (!client->line.isEmpty()) handle_line(client, std::exchange(client->line, {}));
      continue;
    }
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7e) return cut_off(client, QStringLiteral("it sent bytes that are no command text"));
    if (static_cast<std::size_t>(client->line.size()) >= kMaxCommandLength)
      return cut_off(client, QStringLiteral("it sent a line longer than any command"));
    client->line.append(c);
  }
}

void ProtocolPort::handle_line(Client* client, const QByteArray& line) {
  client->quiet.start();
  const std::optional<Command> command = check_command(std::string_view(line.constData(), line.size()));
  if (!command && ++client->junk > kMaxJunkLines)
    return cut_off(client, QStringLiteral("%1 lines in a row were no command").arg(client->junk));
  if (static_cast<int>(client->waiting.size()) >= kMaxWaiting)
    return cut_off(client, QStringLiteral("it had %1 commands waiting").arg(kMaxWaiting));
  if (command) client->junk = 0;
  // Answers keep the order of the lines, refusals of the hub's own included.
  const std::string code = line.left(3).toStdString();
  client->waiting.push_back(code);
  QPointer<Client> who(client);
  link_.enqueue([this, who, command, code] { return serve(who, command, code); }, client);
}

QCoro::Task<> ProtocolPort::serve(QPointer<Client> who, std::optional<Command> command, std::string code) {
  if (!command) {
    // No command of the catalogue: it never reaches the device, which would refuse it.
    if (who) answered(who, code, QByteArrayLiteral("ERR"));
    co_return;
  }
  // A question from a client that has left needs no answer; a change it asked for still happens.
  if ((!who || who->gone) && command->kind != Command::Kind::Setting) co_return;
  const std::optional<int> selected = who ? who->selected : std::nullopt;
  const SharedLink::Result result = co_await link_.carry(*command, who.data(), selected);
  if (!who || who->gone) co_return;
  // What the device answers of its current output, the client takes for
  // the current one; only a selection of its own changes what it selected.
  if (result.outcome == ExchangeOutcome::Answered && command->row->aspect == Aspect::Channel) {
    who->view = link_.device().state().channel;
    if (command->kind == Command::Kind::Setting) who->selected = who->view;
  }
  answered(who, code, result.late ? QByteArray() : result.reply);
}

void ProtocolPort::answered(Client* client, const std::string& code, const QByteArray& reply) {
  if (!reply.isEmpty()) send(client, reply);
  const auto it = std::find(client->waiting.begin(), client->waiting.end(), code);
  if (it != client->waiting.end()) client->waiting.erase(it);
  // Lines held behind this answer go now, unless another command of their code still waits.
  QList<QList<QByteArray>> still;
  for (const QList<QByteArray>& group : std::exchange(client->held, {})) {
    if (waits_for(client, group)) {
      still.append(group);
    } else {
      for (const QByteArray& line : group) send(client, line);
    }
  }
  client->held = std::move(still);
}

bool ProtocolPort::waits_for(const Client* client, const QList<QByteArray>& lines) {
  for (const QByteArray& line : lines)
    if (std::find(client->waiting.begin(), client->waiting.end(), line.left(3).toStdString()) != client->waiting.end())
      return true;
  return false;
}

void ProtocolPort::deliver(Client* client, const QList<QByteArray>& lines) {
  if (waits_for(client, lines)) client->held.append(lines);
  else for (const QByteArray& line : lines) send(client, line);
}

void ProtocolPort::send(Client* client, const QByteArray& line) {
  if (client->gone) return;
  if (client->socket->bytesToWrite() > kMaxUnread)
    return cut_off(client, QStringLiteral("it took nothing of %1 bytes sent to it").arg(client->socket->bytesToWrite()));
  client->socket->write(line + '\r');
  client->socket->flush();
}

void ProtocolPort::cut_off(Client* client, const QString& why) {
  if (client->gone) return;
  log_event(QStringLiteral("protocol port: %1 cut off: %2").arg(client->name, why));
  client->socket->abort();
  forget(client);
}

void ProtocolPort::forget(Client* client) {
  if (client->gone) return;
  client->gone = true;
  clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
  client->deleteLater();
}

}  // namespace quadrel::hub
