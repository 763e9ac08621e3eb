// A TCP port of 127.0.0.1 where a connection attempt stays pending, for tests
// of the "connecting" state that must not send anything off this machine.
#pragma once

#include <QtGlobal>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quadrel::test {

// A listener with a queue of one place, taken by a connection that is never
// accepted: the system drops every further connection request, and the
// client keeps trying until its own time-out.
class UnansweredPort {
 public:
  UnansweredPort() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 0) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      qFatal("UnansweredPort: no listener");
    port_ = ntohs(address.sin_port);
    filler_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (filler_ < 0 || ::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
      qFatal("UnansweredPort: the queue could not be filled");
  }
  ~UnansweredPort() {
    ::close(filler_);
    ::close(listener_);
  }
  UnansweredPort(const UnansweredPort&) = delete;
  UnansweredPort& operator=(const UnansweredPort&) = delete;

  quint16 port() const { return port_; }

 private:
  int listener_ = -1;
  int filler_ = -1;
  quint16 port_ = 0;
};

}  // namespace quadrel::test
