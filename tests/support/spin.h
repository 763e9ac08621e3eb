// Waiting in the event loop itself, for tests where the hub and the
// simulator of one process trade each line through it: QTest's waits sleep
// 10 ms between rounds, which an exchange then waits out each time.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <functional>

namespace quadrel::test {

#if defined(__SANITIZE_ADDRESS__)
// The sanitized build runs about ten times slower: its time bounds grow with
// it (the release build holds the real figures).
constexpr int kSlowdown = 10;
#else
constexpr int kSlowdown = 1;
#endif

// True once `done`, false when `ms` have passed first.
inline bool spin_until(const std::function<bool()>& done, int ms) {
  QDeadlineTimer deadline(ms);
  QTimer wake;  // `done` is looked at again at least this often
  wake.start(std::min(ms, 50));
  while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return done();
}

}  // namespace quadrel::test
