#pragma once

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "platform/Clock.h"
#include "platform/Queues.h"

namespace testing_support {

// Lets the main queue run and the workers reach their next sleep: returns once every running
// background task sleeps on the clock, no sleeper is due (woken but not yet running), the main
// queue is empty, and the number of sleepers has stayed the same for a few real milliseconds
// (for threads outside the queues).
inline void settle(platform::FakeClock& clock) {
  int stable = 0;
  int last = -1;
  for (int i = 0; i < 4000 && stable < 4; ++i) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::microseconds(500));
    const int now = clock.sleepers();
    const std::optional<platform::TimePoint> next = clock.nextDeadline();
    const bool due = next && *next <= clock.now();
    const bool atRest = !due && platform::runningBackgroundTasks() <= clock.taskSleepers() &&
                        platform::pendingMainQueueTasks() == 0;
    stable = atRest && now == last ? stable + 1 : 0;
    last = now;
  }
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

// Moves fake time from one sleeper's deadline to the next, letting everything run between
// the steps, until `done` holds or `maxSeconds` of fake time have passed.
inline bool runUntil(platform::FakeClock& clock, const std::function<bool()>& done, double maxSeconds) {
  const platform::TimePoint limit = clock.now() + platform::Duration(maxSeconds);
  while (true) {
    settle(clock);
    if (done()) return true;
    if (clock.now() >= limit) return false;
    const std::optional<platform::TimePoint> next = clock.nextDeadline();
    const platform::TimePoint target = next && *next < limit ? *next : limit;
    if (target > clock.now()) clock.advance(target - clock.now());
  }
}

// Runs for `seconds` of fake time.
inline void runFor(platform::FakeClock& clock, double seconds) {
  runUntil(clock, [] { return false; }, seconds);
}

inline double seconds(const platform::FakeClock& clock) { return clock.now().time_since_epoch().count(); }

}  // namespace testing_support
