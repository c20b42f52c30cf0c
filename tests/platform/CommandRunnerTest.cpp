#include <gtest/gtest.h>

#include <chrono>

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

// A child that keeps the output open must not hold the caller past the time-out.
TEST(CommandRunner, TimeOutEndsTheCommandAndItsChildren) {
  const auto start = std::chrono::steady_clock::now();
  const platform::CommandResult r = platform::runCommand(
      QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo started; sleep 30 & sleep 30")},
      platform::Duration(0.3));
  EXPECT_EQ(r.outcome, platform::CommandResult::Outcome::TimedOut);
  EXPECT_FALSE(r.succeeded());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
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
