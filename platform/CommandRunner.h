#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "platform/Clock.h"

namespace platform {

// What became of one run of a command.
struct CommandResult {
  enum class Outcome { Exited, FailedToStart, TimedOut, Signalled };
  Outcome outcome = Outcome::FailedToStart;
  int exitStatus = -1;          // when Exited
  QByteArray standardOutput;    // everything the command wrote to its standard output

  [[nodiscard]] bool succeeded() const { return outcome == Outcome::Exited && exitStatus == 0; }
};

// Runs a program and collects its standard output. Standard input is empty, standard error is
// the caller's. A command still running when `timeout` (real time) has passed is killed with
// every process it started, so a stuck tool never holds its caller.
class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  [[nodiscard]] virtual CommandResult run(const QString& launchPath, const QStringList& arguments,
                                          Duration timeout) = 0;
};

// The runner in force: real processes unless a test installed another (nullptr restores it).
// Thread-safe; the installed runner must outlive its use.
CommandRunner& commandRunner();
void setCommandRunner(CommandRunner* runner);

// Runs through the runner in force.
[[nodiscard]] CommandResult runCommand(const QString& launchPath, const QStringList& arguments, Duration timeout);

}  // namespace platform
