#include <gtest/gtest.h>

#include <QDir>

#include <algorithm>
#include <chrono>
#include <future>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "platform/CommandRunner.h"

namespace {

using Outcome = platform::CommandResult::Outcome;

TEST(CommandRunner, OutcomeTable) {
  struct Case {
    const char* name;
    QString program;
    QStringList args;
    Outcome outcome;
    int status;
    QByteArray output;
  };
  const QString sh = QStringLiteral("/bin/sh");
  const Case cases[] = {
      {"output and success", sh, {QStringLiteral("-c"), QStringLiteral("printf 'a\\nb\\n'")}, Outcome::Exited, 0, "a\nb\n"},
      {"exit status kept", sh, {QStringLiteral("-c"), QStringLiteral("echo failed; exit 3")}, Outcome::Exited, 3, "failed\n"},
      {"standard error is not output", sh, {QStringLiteral("-c"), QStringLiteral("echo x >&2")}, Outcome::Exited, 0, ""},
      {"standard input is empty", sh, {QStringLiteral("-c"), QStringLiteral("cat")}, Outcome::Exited, 0, ""},
      {"killed by a signal", sh, {QStringLiteral("-c"), QStringLiteral("kill -9 $$")}, Outcome::Signalled, -1, ""},
      {"no such program", QStringLiteral("/nonexistent/tool"), {}, Outcome::FailedToStart, -1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const platform::CommandResult r = platform::runCommand(c.program, c.args, platform::Duration(10));
    EXPECT_EQ(r.outcome, c.outcome);
    if (c.outcome == Outcome::Exited) {
      EXPECT_EQ(r.exitStatus, c.status);
    }
    EXPECT_EQ(r.standardOutput, c.output);
    EXPECT_EQ(r.succeeded(), c.outcome == Outcome::Exited && c.status == 0);
  }
}

// The descriptors beyond the standard three that a program started from here inherits: those
// this process holds without close-on-exec.
QStringList inheritedDescriptors() {
  QStringList fds;
  for (const QString& name : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System, QDir::Name)) {
    const int fd = name.toInt();
    const int flags = ::fcntl(fd, F_GETFD);
    if (fd > STDERR_FILENO && flags >= 0 && (flags & FD_CLOEXEC) == 0) fds << name;
  }
  return fds;
}

TEST(CommandRunner, TheCommandGetsNoDescriptorBeyondWhatItWouldInherit) {
  const platform::CommandResult r = platform::runCommand(
      QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("ls /proc/$$/fd")}, platform::Duration(10));
  ASSERT_TRUE(r.succeeded());
  QStringList fds = QString::fromUtf8(r.standardOutput).split(u'\n', Qt::SkipEmptyParts);
  fds.removeIf([](const QString& fd) { return fd.toInt() <= STDERR_FILENO; });
  std::sort(fds.begin(), fds.end());
  QStringList expected = inheritedDescriptors();
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(fds, expected);
}

using std::chrono::steady_clock;

// A child that keeps the output open, or closes it and runs on, must not hold the caller past
// the time-out.
TEST(CommandRunner, TimeOutEndsTheCommandAndItsChildren) {
  for (const char* script : {"echo started; sleep 30 & sleep 30", "exec >&-; sleep 30"}) {
    SCOPED_TRACE(script);
    const auto start = steady_clock::now();
    const platform::CommandResult r = platform::runCommand(
        QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromUtf8(script)}, platform::Duration(0.3));
    EXPECT_EQ(r.outcome, Outcome::TimedOut);
    EXPECT_FALSE(r.succeeded());
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(5));
  }
}

TEST(CommandRunner, AWatchThatSaysNoStopsTheCommand) {
  qint64 watched = 0;
  int looks = 0;
  const auto start = steady_clock::now();
  const platform::CommandResult r = platform::runCommand(
      QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo $$; exec sleep 30")}, platform::Duration(20),
      [&](qint64 pid) {
        watched = pid;
        return ++looks < 3;
      });
  EXPECT_EQ(r.outcome, Outcome::Stopped);
  EXPECT_EQ(looks, 3);
  EXPECT_EQ(QByteArray::number(watched) + '\n', r.standardOutput);
  EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_NE(::kill(static_cast<pid_t>(watched), 0), 0);  // gone, and reaped
}

// The program is ending: running commands are asked to end, one that does not listen is
// killed shortly after, and nothing new starts until the runner is resumed.
TEST(CommandRunner, EndingEndsRunningCommandsAndRefusesNewOnes) {
  const auto runInBackground = [](const char* script) {
    return std::async(std::launch::async, [script] {
      return platform::runCommand(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromUtf8(script)},
                                  platform::Duration(60));
    });
  };
  auto listening = runInBackground("echo up; sleep 30");
  auto deaf = runInBackground("trap '' TERM; echo up; sleep 30");
  ::usleep(300 * 1000);  // both are running
  const auto start = steady_clock::now();
  platform::endRunningCommands();
  const platform::CommandResult ended = listening.get();
  EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(1));
  const platform::CommandResult killed = deaf.get();
  EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(ended.outcome, Outcome::Signalled);
  EXPECT_EQ(killed.outcome, Outcome::Signalled);
  EXPECT_EQ(ended.standardOutput, "up\n");
  EXPECT_EQ(platform::runCommand(QStringLiteral("/bin/true"), {}, platform::Duration(5)).outcome, Outcome::FailedToStart);
  platform::resumeCommandsForTesting();
  EXPECT_TRUE(platform::runCommand(QStringLiteral("/bin/true"), {}, platform::Duration(5)).succeeded());
}

class AnsweringRunner final : public platform::CommandRunner {
 public:
  platform::CommandResult run(const QString& path, const QStringList& args, platform::Duration) override {
    calls.append(path + u' ' + args.join(u' '));
    platform::CommandResult r;
    r.outcome = platform::CommandResult::Outcome::Exited;
    r.exitStatus = 0;
    r.standardOutput = "answered";
    return r;
  }
  QStringList calls;
};

TEST(CommandRunner, TestsCanAnswerInsteadOfRunning) {
  AnsweringRunner runner;
  platform::setCommandRunner(&runner);
  const platform::CommandResult r = platform::runCommand(QStringLiteral("/no/tool"), {QStringLiteral("verb")}, platform::Duration(1));
  platform::setCommandRunner(nullptr);
  EXPECT_EQ(r.standardOutput, "answered");
  EXPECT_EQ(runner.calls, QStringList{QStringLiteral("/no/tool verb")});
  EXPECT_EQ(platform::runCommand(QStringLiteral("/no/tool"), {}, platform::Duration(1)).outcome,
            platform::CommandResult::Outcome::FailedToStart);
}

}  // namespace
