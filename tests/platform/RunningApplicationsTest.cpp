#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <future>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Clock.h"
#include "platform/RunningApplications.h"

extern char** environ;

namespace {

// A child process of the test, reaped (and killed if still there) when the test ends.
class Child {
 public:
  explicit Child(const char* script) {
    const char* argv[] = {"/bin/sh", "-c", script, nullptr};
    if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = 0;
  }
  ~Child() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      reap();
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  [[nodiscard]] pid_t pid() const { return pid_; }
  // The signal that ended it (0 when it exited normally).
  int reap() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    reaped_ = true;
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }

 private:
  pid_t pid_ = 0;
  bool reaped_ = false;
};

// Waits until the child has exec'd its program, so that /proc names it.
std::optional<platform::RunningApplication> findChild(pid_t pid, const QString& identifier) {
  for (int i = 0; i < 500; ++i) {
    for (const auto& app : platform::processes().runningApplications()) {
      if (app.pid == pid && app.identifier == identifier) return app;
    }
    ::usleep(2000);
  }
  return std::nullopt;
}

TEST(RunningApplications, ListsOurChildrenButNeverOurselves) {
  Child child("exec sleep 30");
  ASSERT_GT(child.pid(), 0);
  EXPECT_TRUE(findChild(child.pid(), QStringLiteral("sleep")));
  for (const auto& app : platform::processes().runningApplications()) {
    EXPECT_NE(app.pid, ::getpid());
    EXPECT_FALSE(app.identifier.isEmpty());
  }
}

TEST(RunningApplications, TerminateEndsAnOrdinaryProcess) {
  Child child("exec sleep 30");
  const auto app = findChild(child.pid(), QStringLiteral("sleep"));
  ASSERT_TRUE(app);
  // Not yet reaped: it lingers as an exited entry, which counts as gone.
  EXPECT_TRUE(platform::processes().terminate(*app));
  EXPECT_EQ(child.reap(), SIGTERM);
}

TEST(RunningApplications, TerminateRefusedThenForceTerminate) {
  platform::ScopedFakeClock fake;
  Child child("trap '' TERM; exec sleep 30");
  const auto app = findChild(child.pid(), QStringLiteral("sleep"));
  ASSERT_TRUE(app);
  const platform::TimePoint start = fake->now();
  auto terminated = std::async(std::launch::async, [&] { return platform::processes().terminate(*app); });
  // The grace is waited out in fake time, in small steps.
  for (int i = 0; i < 5000 && terminated.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready; ++i) {
    if (fake->sleepers() > 0) fake->advance(0.01);
  }
  const bool finished = terminated.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  EXPECT_TRUE(finished);
  while (terminated.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) fake->advance(1.0);
  EXPECT_FALSE(terminated.get());
  EXPECT_GE((fake->now() - start).count(), 0.95);
  EXPECT_TRUE(platform::processes().forceTerminate(*app));
  EXPECT_EQ(child.reap(), SIGKILL);
}

// A pid that names another program than the one listed (freed and reused since the scan) is
// left alone.
TEST(RunningApplications, NoSignalForAReusedPid) {
  Child child("exec sleep 30");
  auto app = findChild(child.pid(), QStringLiteral("sleep"));
  ASSERT_TRUE(app);
  app->identifier = QStringLiteral("orvell-camera-utility");
  EXPECT_TRUE(platform::processes().terminate(*app));
  EXPECT_TRUE(platform::processes().forceTerminate(*app));
  EXPECT_EQ(::kill(child.pid(), 0), 0);
  int status = 0;
  EXPECT_EQ(::waitpid(child.pid(), &status, WNOHANG), 0);  // still running
}

}  // namespace
