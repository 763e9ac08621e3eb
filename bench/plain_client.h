// The plain blocking client the benchmark compares with: write a command,
// read to the carriage return, over loopback TCP or a pseudo-terminal.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace quadrel::bench {

// "MOD999" `count` times; the microseconds of each exchange.
inline std::vector<double> plain_exchanges(int fd, int count) {
  std::vector<double> us;
  us.reserve(count);
  char c = 0;
  for (int i = 0; i < count; ++i) {
    QElapsedTimer clock;
    clock.start();
    if (::write(fd, "MOD999\r", 7) != 7) break;
    while (::read(fd, &c, 1) == 1 && c != '\r') {}
    us.push_back(clock.nsecsElapsed() / 1000.0);
  }
  return us;
}

// A connection to 127.0.0.1:port without delay; -1 when refused.
inline int plain_tcp(quint16 port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

// The terminal at `path`, raw at 115200 baud; -1 when it cannot be opened.
inline int plain_pty(const QString& path) {
  const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
  if (fd < 0) return -1;
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  cfsetspeed(&tio, B115200);
  tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

}  // namespace quadrel::bench
