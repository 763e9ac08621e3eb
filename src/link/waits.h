// The waits of the exchange: coroutines suspended until a condition holds, a time runs out or the link shuts down.
#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>
#include <coroutine>
#include <functional>
#include <memory>
#include <vector>

#include <qcoro/qcorotask.h>

namespace quadrel {

// Every operation of the exchange that takes time is a coroutine; what it
// waits for is one of these waits. Nothing spins the event loop: a wait
// suspends its coroutine, the application's own loop runs on, and the wait
// resumes it once its condition holds (looked at whenever the link has
// handled input, or was poked), its time is up, or the link shuts down. A
// shut-down resumes every wait at once, so that no suspended sequence
// outlives the link it waits on.
class Waits : public QObject {
 public:
  explicit Waits(QObject* parent = nullptr);
  ~Waits() override;

  class Until {
   public:
    Until(Waits& waits, std::function<bool()> done, int ms)
        : waits_(waits), done_(std::move(done)), deadline_(ms, Qt::PreciseTimer) {}
    bool await_ready() const { return waits_.ended_ || done_(); }
    void await_suspend(std::coroutine_handle<> handle) {
      handle_ = handle;
      waits_.add(this);
    }
    // Whether the condition holds (false: the time ran out, or the link shut down).
    bool await_resume() const { return done_(); }

   private:
    friend class Waits;
    Waits& waits_;
    std::function<bool()> done_;
    QDeadlineTimer deadline_;
    std::coroutine_handle<> handle_;
  };

  // co_await until(...): resumes once `done()` is true or `ms` have passed;
  // gives done(). `done` is looked at whenever check() runs.
  Until until(std::function<bool()> done, int ms) { return Until(*this, std::move(done), ms); }
  // co_await sleep(ms): a pause that ends early only when the link shuts down.
  Until sleep(int ms) {
    return Until(*this, [] { return false; }, ms);
  }

  // Resumes the waits that are over, now. Called where nothing of the link is
  // on the stack any more (at the end of a receive pass): a resumed sequence
  // sends its next command from here.
  void check();
  // Something a wait may look at has changed (the link closed, the port
  // drained): check() runs from the event loop, soon.
  void poke();
  // For good: every wait ends now, and every later one at once.
  void end_all();
  bool ended() const { return ended_; }
  // Some coroutine is suspended in a wait.
  bool any() const { return !waiting_.empty(); }

 private:
  void add(Until* wait);
  void arm();

  std::vector<Until*> waiting_;
  QTimer timer_;  // at the latest at the earliest deadline of those waiting
  qint64 armed_for_ = 0;  // the deadline timer_ was started for
  QTimer poke_;
  bool ended_ = false;
  // False once this is gone: a resumed sequence may end what owns it.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  int checking_ = 0;
  bool again_ = false;
};

// A coroutine's result, for callers that have no use for it: the coroutine
// runs on by itself (QCoro's tasks start at once and keep their frame until
// they end).
template <class T>
void run_detached(QCoro::Task<T>&& task) {
  (void)std::move(task);
}

}  // namespace quadrel
