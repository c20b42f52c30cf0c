#include "platform/Queues.h"

#include <gtest/gtest.h>

#include <future>

#include <QCoreApplication>

#include <atomic>
#include <mutex>
#include <vector>

#include "platform/Application.h"

namespace {

TEST(SerialQueue, RunsTasksOneAtATimeInOrder) {
  platform::SerialQueue queue(QStringLiteral("commandQueue"));
  EXPECT_EQ(queue.label(), QStringLiteral("commandQueue"));
  std::mutex m;
  std::vector<int> order;
  std::atomic<int> running{0}, maxRunning{0};
  for (int i = 0; i < 20; ++i) {
    queue.async([&, i] {
      maxRunning = std::max(maxRunning.load(), ++running);
      { std::lock_guard l(m); order.push_back(i); }
      --running;
    });
  }
  std::atomic<bool> done{false};
  queue.async([&] { done = true; });
  while (!done) std::this_thread::yield();
  EXPECT_EQ(maxRunning.load(), 1);
  std::vector<int> expected(20);
  for (int i = 0; i < 20; ++i) expected[i] = i;
  EXPECT_EQ(order, expected);
}

TEST(SerialQueue, StopEndsASleepingTaskAndDropsTheRest) {
  platform::ScopedFakeClock fake;
  platform::SerialQueue queue(QStringLiteral("q"));
  std::atomic<bool> woke{false}, secondRan{false};
  queue.async([&] { woke = !platform::sleepFor(60.0, &queue.cancellation()); });
  queue.async([&] { secondRan = true; });
  ASSERT_TRUE(fake->waitForSleepers(1));
  queue.stop();  // returns once the sleeping task has ended
  EXPECT_TRUE(woke.load());
  EXPECT_FALSE(secondRan.load());
  queue.async([&] { secondRan = true; });
  EXPECT_FALSE(secondRan.load());
}

TEST(SerialQueue, MayBeDestroyedByItsOwnTask) {
  auto queue = std::make_shared<platform::SerialQueue>(QStringLiteral("q"));
  std::atomic<bool> done{false};
  std::weak_ptr<platform::SerialQueue> weak = queue;
  queue->async([holder = queue, &done]() mutable {
    holder.reset();
    done = true;
  });
  queue.reset();
  while (!done) std::this_thread::yield();
  while (!weak.expired()) std::this_thread::yield();
  SUCCEED();
}

// A worker that was woken for one task but had not taken it yet was counted as free for the
// next one too, which then waited for as long as the first ran (a copy behind its timer).
TEST(GlobalQueue, TwoQuickTasksDoNotShareOneIdleWorker) {
  platform::GlobalQueue& queue = platform::GlobalQueue::shared();
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    queue.async([] {});
    queue.waitForIdle();  // leaves a worker idle
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> secondRan;
    queue.async([released] { released.wait(); });
    queue.async([&secondRan] { secondRan.set_value(); });
    const bool ran = secondRan.get_future().wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    release.set_value();
    queue.waitForIdle();
    ASSERT_TRUE(ran);
  }
}

TEST(FakeClock, SleepersWakeOnlyWhenTimeReachesTheirDeadline) {
  platform::ScopedFakeClock fake;
  std::atomic<bool> done{false};
  std::thread t([&] {
    platform::sleepFor(0.5);
    done = true;
  });
  ASSERT_TRUE(fake->waitForSleepers(1));
  fake->advance(0.4);
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(done.load());
  fake->advance(0.1);
  t.join();
  EXPECT_TRUE(done.load());
}

TEST(MainQueue, DelayedTaskRunsOnTheMainThreadAfterItsDelayUnlessCancelled) {
  platform::ScopedFakeClock fake;
  std::atomic<int> ran{0};
  bool onMain = false;
  auto cancel = std::make_shared<platform::Cancellation>();
  platform::mainAsyncAfter(platform::Duration(0.3), [&] {
    onMain = platform::isMainThread();
    ++ran;
  });
  platform::mainAsyncAfter(platform::Duration(0.3), [&] { ran += 100; }, cancel);
  ASSERT_TRUE(fake->waitForSleepers(2));
  cancel->cancel();
  fake->advance(0.3);
  ASSERT_TRUE(platform::processEventsUntil([&] { return ran.load() != 0; }));
  platform::GlobalQueue::shared().waitForIdle();
  QCoreApplication::processEvents();
  EXPECT_EQ(ran.load(), 1);
  EXPECT_TRUE(onMain);
}

TEST(Application, QuitRequestedBeforeTheLoopEndsExecAtOnce) {
  platform::Application::terminate(0);
  EXPECT_EQ(platform::Application::exec(), 0);
  platform::Application::resetForTests();
}

}  // namespace
