// One running copy per user: the lock, the hand-over to the running copy, and a killed copy's
// leftovers.

#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Queues.h"
#include "platform/SingleInstance.h"

namespace {

using platform::SingleInstance;
using Outcome = SingleInstance::Outcome;

const QString kName = QStringLiteral("com.example.single");

TEST(SingleInstance, LaterStartsAskTheRunningCopyToComeForwardUntilItEnds) {
  QTemporaryDir runtime;
  ASSERT_TRUE(runtime.isValid());
  int activations = 0;
  {
    SingleInstance first(kName, runtime.path());
    ASSERT_EQ(first.start([&activations] { ++activations; }), Outcome::First);
    for (int start = 1; start <= 2; ++start) {
      SCOPED_TRACE(start);
      SingleInstance later(kName, runtime.path());
      EXPECT_EQ(later.start([] { ADD_FAILURE() << "a later start is never asked"; }), Outcome::HandedOver);
      EXPECT_TRUE(platform::processEventsUntil([&] { return activations == start; })) << activations;
    }
  }
  // The first copy has ended: the next start is the running copy.
  SingleInstance next(kName, runtime.path());
  EXPECT_EQ(next.start({}), Outcome::First);
  EXPECT_EQ(activations, 2);
}

TEST(SingleInstance, LockAndSocketOfAKilledCopyNeverBlockAStart) {
  QTemporaryDir runtime;
  ASSERT_TRUE(runtime.isValid());
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SingleInstance killed(kName, runtime.path());
    if (killed.start({}) == Outcome::First) ::kill(::getpid(), SIGKILL);
    ::_exit(1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the killed copy did not take the lock";
  SingleInstance first(kName, runtime.path());
  ASSERT_TRUE(QFileInfo::exists(first.lockPath()));
  ASSERT_TRUE(QFileInfo::exists(first.socketPath()));

  int activations = 0;
  ASSERT_EQ(first.start([&activations] { ++activations; }), Outcome::First);
  // The new copy listens in the killed one's place.
  SingleInstance later(kName, runtime.path());
  EXPECT_EQ(later.start({}), Outcome::HandedOver);
  EXPECT_TRUE(platform::processEventsUntil([&] { return activations == 1; }));
}

// A copy that holds the lock but takes no request (one that hangs, or is still starting) is
// not taken for a hand-over: the later start must not end as though it had been answered.
TEST(SingleInstance, HolderThatNeverListensIsNoAnswer) {
  QTemporaryDir runtime;
  ASSERT_TRUE(runtime.isValid());
  SingleInstance probe(kName, runtime.path());
  QLockFile holder(probe.lockPath());
  ASSERT_TRUE(holder.tryLock(0));
  EXPECT_EQ(probe.start({}), Outcome::NoAnswer);
}

}  // namespace
