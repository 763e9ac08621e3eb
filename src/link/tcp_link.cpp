#include "link/tcp_link.h"

namespace quadrel {

TcpLink::TcpLink(QObject* parent) : QObject(parent) {
  // The bytes are taken off the socket at once and handled later: a device
  // that says its last words and closes ("EXT") must not lose them when the
  // socket closes before the link gets to them.
  connect(&socket_, &QTcpSocket::readyRead, this, [this] {
    inbox_ += socket_.readAll();
    if (on_ready_read) on_ready_read();
  });
  connect(&socket_, &QTcpSocket::connected, this, &TcpLink::connected);
  connect(&socket_, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
    if (state == QAbstractSocket::ConnectedState) {
      connected_ = true;
    } else if (connected_) {
      connected_ = false;
      emit disconnected();
    }
  });
}

void TcpLink::connect_to(const QString& host, quint16 port) {
  connected_ = false;
  if (!is_closed()) socket_.abort();
  inbox_.clear();
  socket_.connectToHost(host, port);
}

bool TcpLink::write(std::string_view bytes) {
  if (!is_connected()) return false;
  const qint64 written = socket_.write(bytes.data(), static_cast<qint64>(bytes.size()));
  socket_.flush();
  return written == static_cast<qint64>(bytes.size());
}

std::size_t TcpLink::bytes_to_write() const { return static_cast<std::size_t>(socket_.bytesToWrite()); }

std::size_t TcpLink::bytes_available() const {
  return static_cast<std::size_t>(inbox_.size() + (socket_.isOpen() ? socket_.bytesAvailable() : 0));
}

std::string TcpLink::read_all() {
  if (socket_.isOpen()) inbox_ += socket_.readAll();
  std::string data(inbox_.constData(), static_cast<std::size_t>(inbox_.size()));
  inbox_.clear();
  return data;
}

void TcpLink::close() {
  // abort() drops the connection at once, whatever its state (connecting included).
  connected_ = false;
  socket_.abort();
  inbox_.clear();
}

}  // namespace quadrel
