#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <future>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/Clock.h"
#include "platform/RunningApplications.h"
#include "support/ChildProcess.h"

namespace {

using testing_support::ChildProcess;
using testing_support::findProcess;

TEST(RunningApplications, ListsOurChildrenButNeverOurselves) {
  ChildProcess child("exec sleep 30");
  ASSERT_GT(child.pid(), 0);
  EXPECT_TRUE(findProcess(child.pid(), QStringLiteral("sleep")));
  for (const auto& app : platform::processes().runningApplications()) {
    EXPECT_NE(app.pid, ::getpid());
    EXPECT_FALSE(app.identifier.isEmpty());
  }
}

// A child that has exited but is not reaped yet still has its /proc entry; it is not listed.
TEST(RunningApplications, LeavesOutAnExitedProcessNotYetReaped) {
  ChildProcess child("exec sleep 0.2");
  ASSERT_TRUE(findProcess(child.pid(), QStringLiteral("sleep")));
  siginfo_t info{};
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child.pid()), &info, WEXITED | WNOWAIT), 0);  // a zombie now
  for (const auto& app : platform::processes().runningApplications()) EXPECT_NE(app.pid, child.pid());
  EXPECT_EQ(child.reap(), 0);
}

// A program whose file was removed while it runs (an update replaced it, say) is still listed
// under its file's name, and can still be asked to end.
TEST(RunningApplications, NamesARemovedExecutableByItsFileName) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString copy = dir.filePath(QStringLiteral("orvell-camera-utility"));
  ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), copy));
  ChildProcess child("exec " + testing_support::quoted(copy) + " 30");
  ASSERT_TRUE(findProcess(child.pid(), QStringLiteral("orvell-camera-utility")));
  ASSERT_TRUE(QFile::remove(copy));
  const auto app = findProcess(child.pid(), QStringLiteral("orvell-camera-utility"));
  ASSERT_TRUE(app);
  EXPECT_TRUE(platform::processes().terminate(*app));
  EXPECT_EQ(child.reap(), SIGTERM);
}

TEST(RunningApplications, TerminateEndsAnOrdinaryProcess) {
  ChildProcess child("exec sleep 30");
  const auto app = findProcess(child.pid(), QStringLiteral("sleep"));
  ASSERT_TRUE(app);
  EXPECT_TRUE(platform::processes().terminate(*app));
  EXPECT_EQ(child.reap(), SIGTERM);
}

// Terminate only delivers the request: it neither waits (no sleep, even in fake time) nor
// counts a process that ignores the request as a refusal. Forcing stays the caller's choice.
TEST(RunningApplications, TerminateAsksOnceAndLeavesAnIgnoringProcessAlone) {
  platform::ScopedFakeClock fake;
  ChildProcess child("trap '' TERM; exec sleep 30");
  const auto app = findProcess(child.pid(), QStringLiteral("sleep"));
  ASSERT_TRUE(app);
  auto terminated = std::async(std::launch::async, [&] { return platform::processes().terminate(*app); });
  if (terminated.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    ADD_FAILURE() << "terminate waits for the process";
    while (terminated.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) fake->advance(0.05);
  }
  EXPECT_TRUE(terminated.get());
  ::usleep(50000);
  EXPECT_TRUE(child.isRunning());
  EXPECT_TRUE(platform::processes().forceTerminate(*app));
  EXPECT_EQ(child.reap(), SIGKILL);
}

// A pid that names another program than the one listed (freed and reused since the scan) is
// left alone.
TEST(RunningApplications, NoSignalForAReusedPid) {
  ChildProcess child("exec sleep 30");
  auto app = findProcess(child.pid(), QStringLiteral("sleep"));
  ASSERT_TRUE(app);
  app->identifier = QStringLiteral("orvell-camera-utility");
  EXPECT_TRUE(platform::processes().terminate(*app));
  EXPECT_TRUE(platform::processes().forceTerminate(*app));
  EXPECT_EQ(::kill(child.pid(), 0), 0);
  EXPECT_TRUE(child.isRunning());
}

}  // namespace
