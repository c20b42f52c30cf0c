#include "platform/Timer.h"

#include <atomic>
#include <mutex>

#include "platform/Application.h"

namespace platform {

struct Timer::State {
  Duration interval{};
  bool repeats = false;
  CancellationPtr cancel = std::make_shared<Cancellation>();
  std::atomic<bool> firingPending{false};
  std::mutex mutex;
  Task action;  // dropped on invalidation, so that what it holds goes at once

  [[nodiscard]] bool valid() const { return !cancel->isCancelled(); }

  void invalidate() {
    cancel->cancel();
    Task dropped;
    {
      std::lock_guard lock(mutex);
      dropped.swap(action);
    }
  }

  // On the main thread.
  void fire() {
    firingPending.store(false);
    if (!valid()) return;
    Task current;
    {
      std::lock_guard lock(mutex);
      current = action;
    }
    if (!repeats) invalidate();
    if (current) current();
  }
};

std::shared_ptr<Timer> Timer::scheduledTimer(Duration interval, bool repeats, Task action) {
  auto state = std::make_shared<State>();
  state->interval = interval;
  state->repeats = repeats;
  state->action = std::move(action);
  // One worker waits for every firing; it ends with the timer, or with the application (so that
  // nothing keeps waiting once the loop that would run the action is gone).
  GlobalQueue::shared().async([state] {
    TimePoint next = now() + state->interval;
    while (state->valid() && !Application::shutdownCancellation().isCancelled()) {
      if (!sleepFor(next - now(), state->cancel.get())) return;
      if (!state->valid() || Application::shutdownCancellation().isCancelled()) return;
      if (!state->firingPending.exchange(true)) {
        MainQueue::async([state] { state->fire(); });
      }
      if (!state->repeats) return;
      next += state->interval;
      // Firings missed while the machine was busy are skipped, not made up for.
      if (next <= now()) next = now() + state->interval;
    }
  });
  return std::shared_ptr<Timer>(new Timer(std::move(state)));
}

Timer::Timer(std::shared_ptr<State> state) : state_(std::move(state)) {}

Timer::~Timer() { state_->invalidate(); }

void Timer::invalidate() { state_->invalidate(); }

bool Timer::isValid() const { return state_->valid(); }

}  // namespace platform
