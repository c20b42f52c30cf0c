#include "platform/Clock.h"

#include "platform/Queues.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

namespace platform {
namespace {

// Real time. Sleepers wait on one condition variable so that a cancellation can wake them.
class RealClock final : public Clock {
 public:
  TimePoint now() const override { return std::chrono::steady_clock::now(); }

  bool sleepFor(Duration d, const Cancellation* cancel) override {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(d);
    std::unique_lock lock(mutex_);
    while (true) {
      if (cancel && cancel->isCancelled()) return false;
      if (cv_.wait_until(lock, deadline) == std::cv_status::timeout) {
        return !(cancel && cancel->isCancelled());
      }
    }
  }

  void wakeAll() override {
    std::lock_guard lock(mutex_);
    cv_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
};

RealClock& realClock() {
  static RealClock clock;
  return clock;
}

std::atomic<Clock*> gClock{nullptr};

}  // namespace

void Cancellation::cancel() {
  cancelled_.store(true, std::memory_order_release);
  clock().wakeAll();
  realClock().wakeAll();
}

Clock& clock() {
  Clock* c = gClock.load(std::memory_order_acquire);
  return c ? *c : realClock();
}

void setClock(Clock* c) { gClock.store(c, std::memory_order_release); }

bool sleepFor(Duration d, const Cancellation* cancel) { return clock().sleepFor(d, cancel); }

TimePoint now() { return clock().now(); }

struct FakeClock::State {
  mutable std::mutex mutex;
  mutable std::condition_variable cv;
  TimePoint now{};
  int sleepers = 0;
  int taskSleepers = 0;
  std::multiset<TimePoint> deadlines;
};

FakeClock::FakeClock() : state_(std::make_unique<State>()) {}

FakeClock::~FakeClock() = default;

TimePoint FakeClock::now() const {
  std::lock_guard lock(state_->mutex);
  return state_->now;
}

bool FakeClock::sleepFor(Duration d, const Cancellation* cancel) {
  std::unique_lock lock(state_->mutex);
  const TimePoint deadline = state_->now + d;
  const bool inTask = isInBackgroundTask();
  ++state_->sleepers;
  if (inTask) ++state_->taskSleepers;
  const auto slot = state_->deadlines.insert(deadline);
  state_->cv.notify_all();
  bool finished = true;
  while (state_->now < deadline) {
    if (cancel && cancel->isCancelled()) {
      finished = false;
      break;
    }
    state_->cv.wait(lock);
  }
  --state_->sleepers;
  if (inTask) --state_->taskSleepers;
  state_->deadlines.erase(slot);
  state_->cv.notify_all();
  return finished;
}

void FakeClock::wakeAll() {
  std::lock_guard lock(state_->mutex);
  state_->cv.notify_all();
}

void FakeClock::advance(Duration d) {
  std::lock_guard lock(state_->mutex);
  state_->now += d;
  state_->cv.notify_all();
}

std::optional<TimePoint> FakeClock::nextDeadline() const {
  std::lock_guard lock(state_->mutex);
  if (state_->deadlines.empty()) return std::nullopt;
  return *state_->deadlines.begin();
}

int FakeClock::taskSleepers() const {
  std::lock_guard lock(state_->mutex);
  return state_->taskSleepers;
}

int FakeClock::sleepers() const {
  std::lock_guard lock(state_->mutex);
  return state_->sleepers;
}

bool FakeClock::waitForSleepers(int n, std::chrono::milliseconds realTimeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->cv.wait_for(lock, realTimeout, [&] { return state_->sleepers >= n; });
}

}  // namespace platform
