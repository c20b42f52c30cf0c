// The command queue: order, one command at a time, the retry pause and its place in the
// queue, and stopping.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CameraTestSupport.h"
#include "camera/CameraModel.h"
#include "camera/Command.h"
#include "camera/CommandProcessor.h"

namespace camera_test {
namespace {

// What the commands of one test did, in order, with the fake time of each run.
class RunLog {
 public:
  void add(const std::string& name) {
    std::lock_guard lock(mutex_);
    runs_.push_back({name, platform::now().time_since_epoch().count()});
  }
  [[nodiscard]] std::vector<std::string> names() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& run : runs_) out.push_back(run.first);
    return out;
  }
  [[nodiscard]] std::vector<double> times(const std::string& name) const {
    std::lock_guard lock(mutex_);
    std::vector<double> out;
    for (const auto& run : runs_) {
      if (run.first == name) out.push_back(run.second);
    }
    return out;
  }
  [[nodiscard]] std::size_t size() const {
    std::lock_guard lock(mutex_);
    return runs_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, double>> runs_;
};

// Answers `answers` in turn (the last one from then on) and notes each run.
class ScriptedCommand final : public Command {
 public:
  ScriptedCommand(RunLog& log, std::string name, std::vector<bool> answers = {true})
      : Command(std::make_shared<CameraModel>(nullptr)), log_(log), name_(std::move(name)), answers_(std::move(answers)) {}

  bool execute() override {
    const int running = ++running_;
    if (running > 1) overlapped_ = true;
    threads_.push_back(std::this_thread::get_id());
    log_.add(name_);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));  // room for a second runner to show
    const bool answer = answers_[std::min(next_++, answers_.size() - 1)];
    --running_;
    return answer;
  }

  static inline std::atomic<int> running_{0};
  static inline std::atomic<bool> overlapped_{false};
  std::vector<std::thread::id> threads_;

 private:
  RunLog& log_;
  std::string name_;
  std::vector<bool> answers_;
  std::size_t next_ = 0;
};

// Posts from a thread of its own, as the SDK's threads do, and lets its 1 ms pause pass. Call
// only while `alreadySleeping` threads sleep on the clock and no other is about to.
void postAside(platform::FakeClock& clock, int alreadySleeping, CommandProcessor& processor,
               std::shared_ptr<Command> command) {
  std::thread poster([&] { processor.post(command); });
  ASSERT_TRUE(clock.waitForSleepers(alreadySleeping + 1));
  clock.advance(0.001);
  poster.join();
}

TEST(CommandProcessor, RunsCommandsOneAtATimeInOrder) {
  RunLog log;
  CommandProcessor processor;
  std::vector<std::shared_ptr<ScriptedCommand>> commands;
  for (int i = 0; i < 6; ++i) commands.push_back(std::make_shared<ScriptedCommand>(log, std::to_string(i)));
  for (const auto& command : commands) processor.post(command);

  ASSERT_TRUE(waitUntil([&] { return log.size() == 6; }));
  EXPECT_EQ(log.names(), (std::vector<std::string>{"0", "1", "2", "3", "4", "5"}));
  EXPECT_FALSE(ScriptedCommand::overlapped_);
  processor.stop();
  // All on the queue's one thread, never the poster's.
  for (const auto& command : commands) {
    ASSERT_EQ(command->threads_.size(), 1u);
    EXPECT_EQ(command->threads_[0], commands[0]->threads_[0]);
    EXPECT_NE(command->threads_[0], std::this_thread::get_id());
  }
}

TEST(CommandProcessor, RetryWaitsHalfASecondBehindCommandsPostedMeanwhile) {
  platform::ScopedFakeClock clock;
  RunLog log;
  CommandProcessor processor;
  auto busy = std::make_shared<ScriptedCommand>(log, "busy", std::vector<bool>{false, false, true});
  auto other = std::make_shared<ScriptedCommand>(log, "other");

  postAside(*clock, 0, processor, busy);
  ASSERT_TRUE(waitUntil([&] { return log.size() == 1; }));
  ASSERT_TRUE(clock->waitForSleepers(1));  // the queue, in its retry pause
  postAside(*clock, 1, processor, other);
  EXPECT_EQ(log.size(), 1u);  // nothing runs during the pause

  clock->advance(0.5);
  ASSERT_TRUE(waitUntil([&] { return log.size() == 3; }));
  ASSERT_TRUE(clock->waitForSleepers(1));
  clock->advance(0.5);
  ASSERT_TRUE(waitUntil([&] { return log.size() == 4; }));

  EXPECT_EQ(log.names(), (std::vector<std::string>{"busy", "other", "busy", "busy"}));
  const auto times = log.times("busy");
  ASSERT_EQ(times.size(), 3u);
  EXPECT_GE(times[1] - times[0], 0.5 - 1e-9);
  EXPECT_GE(times[2] - times[1], 0.5 - 1e-9);
  EXPECT_LE(log.times("other")[0], times[1]);
}

TEST(CommandProcessor, StopDropsTheRetryAndLaterPosts) {
  platform::ScopedFakeClock clock;
  RunLog log;
  CommandProcessor processor;
  postAside(*clock, 0, processor, std::make_shared<ScriptedCommand>(log, "busy", std::vector<bool>{false}));
  ASSERT_TRUE(waitUntil([&] { return log.size() == 1; }));
  ASSERT_TRUE(clock->waitForSleepers(1));

  // Returns without fake time moving: the pause ends with the queue.
  expectPromptly(*clock, [&] { processor.stop(); });
  EXPECT_TRUE(processor.isStopped());

  processor.post(std::make_shared<ScriptedCommand>(log, "late"));  // no pause: the queue is gone
  pumpFor(*clock, 5);
  EXPECT_EQ(log.names(), (std::vector<std::string>{"busy"}));
}

TEST(CommandProcessor, DestructionEndsAPendingRetry) {
  platform::ScopedFakeClock clock;
  RunLog log;
  auto processor = std::make_unique<CommandProcessor>();
  postAside(*clock, 0, *processor, std::make_shared<ScriptedCommand>(log, "busy", std::vector<bool>{false}));
  ASSERT_TRUE(waitUntil([&] { return log.size() == 1; }));
  ASSERT_TRUE(clock->waitForSleepers(1));
  expectPromptly(*clock, [&] { processor.reset(); });
  EXPECT_EQ(log.size(), 1u);
}

TEST(CommandProcessor, FollowUpRunsOnlyAfterItsCommandHasFinished) {
  platform::ScopedFakeClock clock;
  RunLog log;
  CommandProcessor processor;
  auto first = std::make_shared<ScriptedCommand>(log, "first", std::vector<bool>{false, true});
  first->setFollowUp(std::make_shared<ScriptedCommand>(log, "follow-up"));
  postAside(*clock, 0, processor, first);
  ASSERT_TRUE(waitUntil([&] { return log.size() == 1; }));
  ASSERT_TRUE(clock->waitForSleepers(1));
  postAside(*clock, 1, processor, std::make_shared<ScriptedCommand>(log, "posted meanwhile"));
  clock->advance(0.5);
  ASSERT_TRUE(waitUntil([&] { return log.size() == 4; }));
  EXPECT_EQ(log.names(), (std::vector<std::string>{"first", "posted meanwhile", "first", "follow-up"}));
}

}  // namespace
}  // namespace camera_test
