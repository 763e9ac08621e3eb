#include "link/signal_watch.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace quadrel {

namespace {

// The handler only writes the signal's number into a socket; the notifier on
// the other end reads it on the event loop.
int wake_pair[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

void on_signal(int signal_number) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal_number);
  [[maybe_unused]] const ssize_t n = ::write(wake_pair[0], &byte, 1);
  errno = saved;
}

}  // namespace

SignalWatch::SignalWatch(QObject* parent) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wake_pair) != 0) {
    qWarning("signals cannot be watched; they end the program at once");
    return;
  }
  notifier_ = new QSocketNotifier(wake_pair[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    unsigned char byte = 0;
    while (::read(wake_pair[1], &byte, 1) == 1) emit received(byte);
  });
  struct sigaction action = {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal_number : kSignals) ::sigaction(signal_number, &action, nullptr);
}

SignalWatch::~SignalWatch() {
  if (!notifier_) return;
  for (int signal_number : kSignals) ::signal(signal_number, SIG_DFL);
  delete notifier_;
  ::close(wake_pair[0]);
  ::close(wake_pair[1]);
  wake_pair[0] = wake_pair[1] = -1;
}

}  // namespace quadrel
