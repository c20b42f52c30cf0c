#pragma once

#include <memory>

#include "platform/Clock.h"
#include "platform/Queues.h"

namespace platform {

// A timer on the main loop, timed through the clock in force so that tests run it in fake
// time. It fires one interval after it is scheduled, then every interval while it repeats; a
// firing that comes while the previous one has not run yet is dropped, not queued.
class Timer {
 public:
  // Starts a timer that runs `action` on the main thread.
  [[nodiscard]] static std::shared_ptr<Timer> scheduledTimer(Duration interval, bool repeats, Task action);
  // Invalidates the timer.
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // Stops the timer and drops its action. Safe from any thread; once it has returned on the
  // main thread the action never runs again. The waiting worker ends at once.
  void invalidate();
  [[nodiscard]] bool isValid() const;

 private:
  struct State;
  explicit Timer(std::shared_ptr<State> state);
  std::shared_ptr<State> state_;
};

}  // namespace platform
