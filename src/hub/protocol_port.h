// The device's own line protocol, served to any number of clients (panels,
// quadrel-cli, control systems) over the one shared link.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <optional>
#include <string>
#include <vector>

#include <qcoro/qcorotask.h>

#include "hub/command_rules.h"

namespace quadrel::hub {

class SharedLink;

class ProtocolPort : public QObject {
  Q_OBJECT
 public:
  // `evict_after_ms`: when every place is taken, a newcomer takes the place
  // of the client that has sent nothing for longest, if for this long at least.
  explicit ProtocolPort(SharedLink& link, int evict_after_ms = kEvictAfterMs, QObject* parent = nullptr);
  ~ProtocolPort() override;

  bool listen(const QHostAddress& address, quint16 port, QString* error);
  // The port it listens on (also while it is closed, the device's link being down).
  quint16 port() const { return port_; }
  bool listening() const { return server_.isListening(); }
  int clients() const { return static_cast<int>(clients_.size()); }

  // Limits that keep one client from harming the others.
  static constexpr int kMaxClients = 64;
  static constexpr int kEvictAfterMs = 10000;
  // Commands of one client waiting for the link; one more cuts it off.
  static constexpr int kMaxWaiting = 32;
  // Lines in a row that are no command of the catalogue; one more cuts it off.
  static constexpr int kMaxJunkLines = 3;
  // Bytes a client has not taken off its socket; more cuts it off.
  static constexpr qint64 kMaxUnread = 64 * 1024;

 private:
  class Client;

  void on_new_connection();
  // Listens again where it listened (the device is back).
  void reopen();
  // Cuts off the client quiet for longest, if long enough: false when none is.
  bool make_room();
  void on_ready_read(Client* client);
  void handle_line(Client* client, const QByteArray& line);
  // One line's job: carried to the device in its turn, the answer sent back.
  QCoro::Task<> serve(QPointer<Client> who, std::optional<Command> command, std::string code);
  // Lines for a client, together: held while it waits for a reply of a code
  // among them, so that it never takes someone else's change for its answer.
  void deliver(Client* client, const QList<QByteArray>& lines);
  static bool waits_for(const Client* client, const QList<QByteArray>& lines);
  void send(Client* client, const QByteArray& line);
  void answered(Client* client, const std::string& code, const QByteArray& reply);
  void cut_off(Client* client, const QString& why);
  void forget(Client* client);

  SharedLink& link_;
  int evict_after_ms_;
  QTcpServer server_;
  QHostAddress address_;
  quint16 port_ = 0;
  std::vector<Client*> clients_;
};

}  // namespace quadrel::hub
