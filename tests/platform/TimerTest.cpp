#include "platform/Timer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Application.h"
#include "platform/Queues.h"
#include "support/FakeTime.h"

namespace {

using testing_support::runFor;
using testing_support::seconds;

TEST(Timer, FiresOnTheMainThreadEveryIntervalUntilInvalidated) {
  platform::ScopedFakeClock fake;
  std::vector<double> repeating, once;
  bool onMain = true;
  auto held = std::make_shared<int>(0);  // stands for what the action keeps alive
  std::shared_ptr<platform::Timer> timer;
  timer = platform::Timer::scheduledTimer(platform::Duration(0.5), true, [&, held] {
    repeating.push_back(seconds(*fake));
    onMain = onMain && platform::isMainThread();
    if (repeating.size() == 3) timer->invalidate();  // from inside its own firing
  });
  const auto single = platform::Timer::scheduledTimer(platform::Duration(0.7), false, [&] { once.push_back(seconds(*fake)); });
  runFor(*fake, 3.0);
  EXPECT_EQ(repeating, (std::vector<double>{0.5, 1.0, 1.5}));
  EXPECT_EQ(once, std::vector<double>{0.7});
  EXPECT_TRUE(onMain);
  EXPECT_FALSE(timer->isValid());
  EXPECT_FALSE(single->isValid());
  EXPECT_EQ(held.use_count(), 1) << "an invalidated timer keeps its action";
  EXPECT_EQ(fake->sleepers(), 0);
}

TEST(Timer, FiringsDoNotPileUpWhileTheMainThreadIsBusy) {
  platform::ScopedFakeClock fake;
  int fired = 0;
  const auto timer = platform::Timer::scheduledTimer(platform::Duration(0.5), true, [&] { ++fired; });
  const auto waitingForTheNextFiring = [&] {
    while (true) {
      const std::optional<platform::TimePoint> next = fake->nextDeadline();
      if (next && *next > fake->now()) return;
      std::this_thread::yield();
    }
  };
  for (int i = 0; i < 4; ++i) {  // the main loop runs nothing meanwhile
    waitingForTheNextFiring();
    fake->advance(0.5);
  }
  waitingForTheNextFiring();
  EXPECT_EQ(platform::pendingMainQueueTasks(), 1);
  QCoreApplication::processEvents();
  EXPECT_EQ(fired, 1);
  // Invalidated from another thread, the waiting worker ends at once, without time moving.
  std::thread([&] { timer->invalidate(); }).join();
  platform::GlobalQueue::shared().waitForIdle();
  EXPECT_EQ(fake->sleepers(), 0);
}

TEST(MainQueue, SyncRunsOnTheMainThreadOrGivesUpWhenCancelled) {
  std::atomic<int> result{-1};
  std::atomic<bool> onMain{false};
  std::thread worker([&] { result = platform::MainQueue::sync([&] { onMain = platform::isMainThread(); }) ? 1 : 0; });
  ASSERT_TRUE(platform::processEventsUntil([&] { return result.load() != -1; }));
  worker.join();
  EXPECT_EQ(result.load(), 1);
  EXPECT_TRUE(onMain.load());

  // A main loop that never comes round (the application has quit): the wait ends with the
  // cancellation, and the task does not run later either.
  platform::Cancellation quitting;
  std::atomic<bool> ran{false};
  result = -1;
  worker = std::thread([&] { result = platform::MainQueue::sync([&] { ran = true; }, &quitting) ? 1 : 0; });
  while (platform::pendingMainQueueTasks() == 0) std::this_thread::yield();
  quitting.cancel();
  worker.join();
  EXPECT_EQ(result.load(), 0);
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran.load());

  // On the main thread it runs at once.
  bool direct = false;
  EXPECT_TRUE(platform::MainQueue::sync([&] { direct = true; }));
  EXPECT_TRUE(direct);
}

}  // namespace
