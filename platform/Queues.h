#pragma once

#include <QString>

#include <functional>
#include <memory>

#include "platform/Clock.h"

namespace platform {

using Task = std::function<void()>;

// True on the thread that runs the Qt event loop.
[[nodiscard]] bool isMainThread();

// A queue of its own thread that runs its tasks one at a time, in the order of submission.
class SerialQueue {
 public:
  explicit SerialQueue(QString label);
  // Stops the queue (see stop()) and joins its thread.
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  [[nodiscard]] const QString& label() const { return label_; }
  // Adds a task at the end; ignored once the queue is stopped.
  void async(Task task);
  // Ends the queue: tasks not yet started are dropped, the running one finishes, and the
  // queue's cancellation fires so that its sleeps end at once. Safe from any thread,
  // including the queue's own; waits for the running task unless called from it.
  void stop();
  [[nodiscard]] bool isStopped() const;
  // Fires when the queue stops; tasks pass it to their sleeps.
  [[nodiscard]] const Cancellation& cancellation() const;
  [[nodiscard]] bool isCurrent() const;

 private:
  struct State;
  QString label_;
  std::shared_ptr<State> state_;
};

// The process-wide pool of worker threads (the global queue). Tasks run concurrently.
class GlobalQueue {
 public:
  static GlobalQueue& shared();
  void async(Task task);
  // Blocks until every submitted task has finished (tests and shutdown).
  void waitForIdle();

 private:
  GlobalQueue() = default;
};

// The Qt event loop of the main thread. Tasks run there in the order of submission.
class MainQueue {
 public:
  static void async(Task task);
  // Runs `task` on the main thread and waits until it has returned (at once when called there).
  // Gives up and returns false, the task never to run, when `cancel` fires first (by default
  // the application's shutdown: a main loop that has ended would never run it).
  static bool sync(Task task, const Cancellation* cancel = nullptr);
  // Hands tasks over through a queue of our own and an eventfd, so that the hand-over is a
  // synchronisation that race detectors see (Qt's own event queue uses futexes they don't).
  // Called once on the main thread after the QApplication exists.
  static void install();
};

// Runs `task` on the main queue after `delay`, timed through the clock in force. The wait
// happens on a worker; `cancel` (optional) drops the task if it fires before the delay ends.
void mainAsyncAfter(Duration delay, Task task, CancellationPtr cancel = nullptr);
// Runs `task` on a worker after `delay`, likewise.
void globalAsyncAfter(Duration delay, Task task, CancellationPtr cancel = nullptr);

// Tasks of serial queues and the global queue submitted and not yet finished, whether the
// calling thread runs one, and the main-queue tasks not yet run. Tests use them to tell when
// every worker has come to rest.
[[nodiscard]] int runningBackgroundTasks();
[[nodiscard]] bool isInBackgroundTask();
[[nodiscard]] int pendingMainQueueTasks();

// Runs queued main-queue tasks until `done` is true or `timeout` of real time has passed.
// For tests and for the start-up path that must look at the loop before exec().
bool processEventsUntil(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace platform
