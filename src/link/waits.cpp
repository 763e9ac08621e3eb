#include "link/waits.h"

#include <algorithm>
#include <limits>

namespace quadrel {

Waits::Waits(QObject* parent) : QObject(parent) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &Waits::check);
  poke_.setSingleShot(true);
  poke_.setInterval(0);
  connect(&poke_, &QTimer::timeout, this, &Waits::check);
}

Waits::~Waits() {
  end_all();
  *alive_ = false;
}

void Waits::add(Until* wait) {
  waiting_.push_back(wait);
  arm();
}

void Waits::arm() {
  // With nothing waiting the timer is left as it is: a wait comes with every
  // exchange, and stopping and starting the timer for each costs more than the
  // one pass with nothing over that it may bring.
  if (waiting_.empty()) return;
  qint64 first = waiting_.front()->deadline_.deadlineNSecs();
  for (const Until* wait : waiting_) first = std::min(first, wait->deadline_.deadlineNSecs());
  if (first == std::numeric_limits<qint64>::max()) return;  // no deadline
  // Armed for that deadline or an earlier one: it is looked at in time.
  if (timer_.isActive() && armed_for_ <= first) return;
  armed_for_ = first;
  // The clock moves in whole milliseconds: a deadline is over once it has passed.
  const qint64 ms = (first - QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs() + 999'999) / 1'000'000;
  timer_.start(static_cast<int>(std::clamp<qint64>(ms, 0, std::numeric_limits<int>::max())));
}

void Waits::poke() {
  if (!waiting_.empty() && !poke_.isActive()) poke_.start();
}

void Waits::check() {
  if (waiting_.empty()) return;
  // A sequence resumed here may end a wait of another: the outermost check
  // looks again, instead of resuming anything from inside a resumed one.
  if (checking_ > 0) {
    again_ = true;
    return;
  }
  const std::shared_ptr<bool> alive = alive_;
  ++checking_;
  do {
    again_ = false;
    std::vector<std::coroutine_handle<>> over;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
      Until* wait = *it;
      if (ended_ || wait->deadline_.hasExpired() || wait->done_()) {
        over.push_back(wait->handle_);
        it = waiting_.erase(it);
      } else {
        ++it;
      }
    }
    if (!over.empty()) again_ = true;
    for (const std::coroutine_handle<> handle : over) {
      handle.resume();
      if (!*alive) return;
    }
  } while (again_ && !waiting_.empty());
  --checking_;
  arm();
}

void Waits::end_all() {
  ended_ = true;
  poke_.stop();
  timer_.stop();
  // Resumed from here even when a check is under way: nothing waits afterwards.
  const std::shared_ptr<bool> alive = alive_;
  while (!waiting_.empty()) {
    std::vector<Until*> over = std::exchange(waiting_, {});
    for (Until* wait : over) {
      wait->handle_.resume();
      if (!*alive) return;
    }
  }
}

}  // namespace quadrel
