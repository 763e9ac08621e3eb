// The TCP client (`wsk_client`) as a byte link to the device's port 23.
#pragma once

#include <QObject>
#include <QTcpSocket>

#include "link/core/link_io.h"

namespace quadrel {

class TcpLink : public QObject, public ByteLink {
  Q_OBJECT
 public:
  explicit TcpLink(QObject* parent = nullptr);

  // Starts connecting; `connected()` follows when the device accepts.
  void connect_to(const QString& host, quint16 port);
  bool is_connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
  bool is_closed() const { return socket_.state() == QAbstractSocket::UnconnectedState; }

  bool is_open() const override { return is_connected(); }
  bool write(std::string_view bytes) override;
  std::size_t bytes_to_write() const override;
  std::size_t bytes_available() const override;
  std::string read_all() override;
  // Drops the connection at once, whatever its state; no `disconnected()` follows.
  void close() override;

  QTcpSocket& socket() { return socket_; }

 signals:
  void connected();
  // The connection ended without close(): the device closed it or the
  // network dropped it. Emitted as the socket leaves its connected state.
  void disconnected();

 private:
  QTcpSocket socket_;
  QByteArray inbox_;  // received, not yet read by the link
  bool connected_ = false;  // the socket is connected and close() was not called
};

}  // namespace quadrel
