// Awaiting the link's coroutines from a test: the test's own event loop runs until one ends.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <utility>

#include <qcoro/qcorotask.h>

namespace quadrel::test {

// The result of an awaited operation (an exchange, a refresh), once it has
// ended; the event loop runs meanwhile, as it would in the program.
template <class T>
T awaited(QCoro::Task<T>&& task) {
  return QCoro::waitFor(std::move(task));
}

// Runs the event loop until `done()` holds (true) or `ms` have passed (false).
// Unlike QTest::qWaitFor, which sleeps 10 ms between its passes, it looks
// after every event: an awaited sequence resumes once per pass, and a model
// read of 80 exchanges would take seconds of sleeping.
inline bool run_until(const std::function<bool()>& done, int ms) {
  if (done()) return true;
  QEventLoop loop;
  QElapsedTimer clock;
  clock.start();
  QTimer look;
  look.setTimerType(Qt::PreciseTimer);
  QObject::connect(&look, &QTimer::timeout, &loop, [&] {
    if (done() || clock.elapsed() >= ms) loop.quit();
  });
  look.start(1);
  loop.exec();
  return done();
}

}  // namespace quadrel::test
