#include "platform/Queues.h"

#include "platform/Application.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QThread>

#include <sys/eventfd.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

namespace {
std::atomic<int> gRunningTasks{0};
thread_local bool tInTask = false;

// Marks the calling thread as running a background task for the guard's lifetime, and counts
// the task as done when it ends. gRunningTasks counts tasks from their submission on.
struct TaskScope {
  TaskScope() { tInTask = true; }
  ~TaskScope() {
    --gRunningTasks;
    tInTask = false;
  }
};
}  // namespace

int runningBackgroundTasks() { return gRunningTasks.load(); }
bool isInBackgroundTask() { return tInTask; }

bool isMainThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

// ---- SerialQueue -----------------------------------------------------------------------

struct SerialQueue::State {
  std::mutex mutex;
  std::condition_variable cv;
  std::deque<Task> tasks;
  bool stopped = false;
  bool running = false;  // a task is executing
  std::thread::id threadId;
  Cancellation cancellation;
  std::thread thread;

  void loop() {
    std::unique_lock lock(mutex);
    while (true) {
      cv.wait(lock, [&] { return stopped || !tasks.empty(); });
      if (stopped) break;
      Task task = std::move(tasks.front());
      tasks.pop_front();
      running = true;
      lock.unlock();
      {
        TaskScope scope;
        task();
        task = nullptr;  // drop what the task captured before the next one runs
      }
      lock.lock();
      running = false;
      cv.notify_all();
    }
    running = false;
    cv.notify_all();
  }
};

SerialQueue::SerialQueue(QString label) : label_(std::move(label)), state_(std::make_shared<State>()) {
  auto state = state_;
  std::lock_guard lock(state->mutex);
  state->thread = std::thread([state] { state->loop(); });
  state->threadId = state->thread.get_id();
}

SerialQueue::~SerialQueue() {
  stop();
  // Only the owner touches `thread`, and never while the worker needs the mutex.
  if (state_->thread.joinable()) {
    if (std::this_thread::get_id() == state_->threadId) {
      state_->thread.detach();  // the queue is destroyed by its own last task; the state lives on
    } else {
      state_->thread.join();
    }
  }
}

void SerialQueue::async(Task task) {
  std::lock_guard lock(state_->mutex);
  if (state_->stopped) return;
  ++gRunningTasks;
  state_->tasks.push_back(std::move(task));
  state_->cv.notify_all();
}

void SerialQueue::stop() {
  std::deque<Task> dropped;
  {
    std::unique_lock lock(state_->mutex);
    state_->stopped = true;
    dropped.swap(state_->tasks);
    state_->cv.notify_all();
  }
  state_->cancellation.cancel();
  gRunningTasks -= static_cast<int>(dropped.size());
  dropped.clear();  // outside the lock: dropped tasks may own things that stop queues too
  if (std::this_thread::get_id() == state_->threadId) return;
  std::unique_lock lock(state_->mutex);
  state_->cv.wait(lock, [&] { return !state_->running; });
}

bool SerialQueue::isStopped() const {
  std::lock_guard lock(state_->mutex);
  return state_->stopped;
}

const Cancellation& SerialQueue::cancellation() const { return state_->cancellation; }

bool SerialQueue::isCurrent() const { return std::this_thread::get_id() == state_->threadId; }

// ---- GlobalQueue -----------------------------------------------------------------------

namespace {

// Grows a thread whenever every worker is busy: tasks here sleep for seconds at a time.
class ThreadPool {
 public:
  ~ThreadPool() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      cv_.notify_all();
    }
    for (auto& t : threads_) t.join();
  }

  void async(Task task) {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    ++gRunningTasks;
    tasks_.push_back(std::move(task));
    ++outstanding_;
    if (idle_ == 0) {
      threads_.emplace_back([this] { loop(); });
    } else {
      cv_.notify_one();
    }
  }

  void waitForIdle() {
    std::unique_lock lock(mutex_);
    idleCv_.wait(lock, [&] { return outstanding_ == 0; });
  }

 private:
  void loop() {
    std::unique_lock lock(mutex_);
    while (true) {
      ++idle_;
      cv_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
      --idle_;
      if (tasks_.empty()) return;  // stopping and nothing left
      Task task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      {
        TaskScope scope;
        task();
        task = nullptr;
      }
      lock.lock();
      if (--outstanding_ == 0) idleCv_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::condition_variable idleCv_;
  std::deque<Task> tasks_;
  std::vector<std::thread> threads_;
  int idle_ = 0;
  int outstanding_ = 0;
  bool stopping_ = false;
};

ThreadPool& pool() {
  static ThreadPool p;
  return p;
}

}  // namespace

GlobalQueue& GlobalQueue::shared() {
  static GlobalQueue queue;
  pool();  // made first so that it outlives the users of the queue
  return queue;
}

void GlobalQueue::async(Task task) { pool().async(std::move(task)); }

void GlobalQueue::waitForIdle() { pool().waitForIdle(); }

// ---- MainQueue -------------------------------------------------------------------------

namespace {

struct MainQueueState {
  std::mutex mutex;
  std::deque<Task> tasks;
  std::atomic<int> fd{-1};
};

MainQueueState& mainQueueState() {
  static auto* state = new MainQueueState;  // never destroyed: workers may post late
  return *state;
}

void drainMainQueue() {
  MainQueueState& state = mainQueueState();
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = ::read(state.fd.load(), &count, sizeof count);
  while (true) {
    Task task;
    {
      std::lock_guard lock(state.mutex);
      if (state.tasks.empty()) return;
      task = std::move(state.tasks.front());
      state.tasks.pop_front();
    }
    task();
  }
}

}  // namespace

int pendingMainQueueTasks() {
  MainQueueState& state = mainQueueState();
  std::lock_guard lock(state.mutex);
  return static_cast<int>(state.tasks.size());
}

void MainQueue::install() {
  QCoreApplication* app = QCoreApplication::instance();
  MainQueueState& state = mainQueueState();
  if (!app || !isMainThread() || state.fd.load() >= 0) return;
  const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) return;
  auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, app);
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] { drainMainQueue(); });
  state.fd.store(fd);
}

void MainQueue::async(Task task) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  MainQueueState& state = mainQueueState();
  if (state.fd.load() < 0) install();
  const int fd = state.fd.load();
  if (fd < 0) {
    QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
    return;
  }
  {
    std::lock_guard lock(state.mutex);
    state.tasks.push_back(std::move(task));
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
}

bool MainQueue::sync(Task task, const Cancellation* cancel) {
  if (isMainThread()) {
    task();
    return true;
  }
  if (!QCoreApplication::instance()) return false;
  if (!cancel) cancel = &Application::shutdownCancellation();
  struct Handover {
    std::mutex mutex;
    std::condition_variable cv;
    bool started = false;
    bool finished = false;
    bool abandoned = false;
  };
  auto handover = std::make_shared<Handover>();
  async([handover, task = std::move(task)] {
    {
      std::lock_guard lock(handover->mutex);
      if (handover->abandoned) return;
      handover->started = true;
    }
    task();
    std::lock_guard lock(handover->mutex);
    handover->finished = true;
    handover->cv.notify_all();
  });
  std::unique_lock lock(handover->mutex);
  while (!handover->finished) {
    // A cancellation does not signal this wait, so look at it every few milliseconds; a task
    // that has begun is waited for to its end.
    if (!handover->started && cancel->isCancelled()) {
      handover->abandoned = true;
      return false;
    }
    handover->cv.wait_for(lock, std::chrono::milliseconds(10));
  }
  return true;
}

namespace {

void afterDelay(Duration delay, Task task, CancellationPtr cancel, bool onMain) {
  GlobalQueue::shared().async([delay, task = std::move(task), cancel = std::move(cancel), onMain]() mutable {
    const Cancellation* waitCancel = cancel ? cancel.get() : &Application::shutdownCancellation();
    if (!sleepFor(delay, waitCancel)) return;
    if (!onMain) {
      if (!(cancel && cancel->isCancelled())) task();
      return;
    }
    MainQueue::async([task = std::move(task), cancel = std::move(cancel)] {
      if (!(cancel && cancel->isCancelled())) task();
    });
  });
}

}  // namespace

void mainAsyncAfter(Duration delay, Task task, CancellationPtr cancel) {
  afterDelay(delay, std::move(task), std::move(cancel), true);
}

void globalAsyncAfter(Duration delay, Task task, CancellationPtr cancel) {
  afterDelay(delay, std::move(task), std::move(cancel), false);
}

bool processEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeout.count()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::sendPostedEvents();
    if (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace platform
