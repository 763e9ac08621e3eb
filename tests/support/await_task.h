// Awaiting the link's coroutines from a test: the test's own event loop runs until one ends.
#pragma once

#include <utility>

#include <qcoro/qcorotask.h>

namespace quadrel::test {

// The result of an awaited operation (an exchange, a refresh), once it has
// ended; the event loop runs meanwhile, as it would in the program.
template <class T>
T awaited(QCoro::Task<T>&& task) {
  return QCoro::waitFor(std::move(task));
}

}  // namespace quadrel::test
