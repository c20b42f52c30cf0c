#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

namespace platform {

using Duration = std::chrono::duration<double>;  // seconds
using TimePoint = std::chrono::time_point<std::chrono::steady_clock, Duration>;

// A flag that ends waits early. Waits made with it return as soon as it is cancelled.
class Cancellation {
 public:
  Cancellation() = default;
  Cancellation(const Cancellation&) = delete;
  Cancellation& operator=(const Cancellation&) = delete;

  void cancel();
  [[nodiscard]] bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }

 private:
  std::atomic<bool> cancelled_{false};
};

using CancellationPtr = std::shared_ptr<Cancellation>;

// The one seam through which every sleep and delay of the program passes. The default clock
// is real time; tests install a FakeClock and move time by hand.
class Clock {
 public:
  virtual ~Clock() = default;
  [[nodiscard]] virtual TimePoint now() const = 0;
  // Blocks the calling thread for `d`, or until `cancel` is cancelled. Returns false when the
  // wait was cut short by the cancellation.
  virtual bool sleepFor(Duration d, const Cancellation* cancel) = 0;
  // Wakes every waiter so that it looks at its cancellation again.
  virtual void wakeAll() = 0;
};

// The clock in force (real time unless a test installed another).
Clock& clock();
// Installs `c` as the clock in force; nullptr restores real time. The caller keeps ownership
// and must restore the clock before `c` dies.
void setClock(Clock* c);

// Shorthands for the clock in force.
bool sleepFor(Duration d, const Cancellation* cancel = nullptr);
inline bool sleepFor(double seconds, const Cancellation* cancel = nullptr) {
  return sleepFor(Duration(seconds), cancel);
}
TimePoint now();

// Time that moves only when a test says so. Sleepers block until the fake time reaches their
// deadline (or their cancellation fires).
class FakeClock final : public Clock {
 public:
  FakeClock();
  ~FakeClock() override;

  [[nodiscard]] TimePoint now() const override;
  bool sleepFor(Duration d, const Cancellation* cancel) override;
  void wakeAll() override;

  // Moves time forward by `d` and wakes the sleepers whose deadline has come.
  void advance(Duration d);
  void advance(double seconds) { advance(Duration(seconds)); }
  // The earliest deadline among the sleepers, if any sleep.
  [[nodiscard]] std::optional<TimePoint> nextDeadline() const;
  // How many of the sleepers are background-queue tasks.
  [[nodiscard]] int taskSleepers() const;
  // How many threads are sleeping on this clock right now.
  [[nodiscard]] int sleepers() const;
  // Waits (in real time, at most `realTimeout`) until at least `n` threads sleep on this clock.
  bool waitForSleepers(int n, std::chrono::milliseconds realTimeout = std::chrono::seconds(5)) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Installs a FakeClock for the lifetime of the guard (tests).
class ScopedFakeClock {
 public:
  ScopedFakeClock() { setClock(&clock_); }
  ~ScopedFakeClock() { setClock(nullptr); }
  ScopedFakeClock(const ScopedFakeClock&) = delete;
  ScopedFakeClock& operator=(const ScopedFakeClock&) = delete;
  FakeClock& operator*() { return clock_; }
  FakeClock* operator->() { return &clock_; }

 private:
  FakeClock clock_;
};

}  // namespace platform
