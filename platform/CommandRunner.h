#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

#include "platform/Clock.h"

namespace platform {

// What became of one run of a command.
struct CommandResult {
  enum class Outcome { Exited, FailedToStart, TimedOut, Signalled, Stopped };
  Outcome outcome = Outcome::FailedToStart;
  int exitStatus = -1;          // when Exited
  QByteArray standardOutput;    // everything the command wrote to its standard output

  [[nodiscard]] bool succeeded() const { return outcome == Outcome::Exited && exitStatus == 0; }
};

// Looks at a running command (by its process id) every few tens of milliseconds; false stops
// it at once, with all it started, and the run's outcome is Stopped.
using CommandWatch = std::function<bool(qint64 pid)>;

// Runs a program and collects its standard output. Standard input is empty, standard error is
// the caller's. A command still running when `timeout` (real time) has passed is killed with
// every process it started, so a stuck tool never holds its caller; and a command is killed
// when the thread that started it ends (with its whole process), so it never outlives its caller.
class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  [[nodiscard]] virtual CommandResult run(const QString& launchPath, const QStringList& arguments,
                                          Duration timeout) = 0;
  // A run that `watch` may stop. Runners that start no process need not watch.
  [[nodiscard]] virtual CommandResult runWatched(const QString& launchPath, const QStringList& arguments,
                                                 Duration timeout, const CommandWatch& /*watch*/) {
    return run(launchPath, arguments, timeout);
  }
};

// The runner in force: real processes unless a test installed another (nullptr restores it).
// Thread-safe; the installed runner must outlive its use.
CommandRunner& commandRunner();
void setCommandRunner(CommandRunner* runner);

// Runs through the runner in force.
[[nodiscard]] CommandResult runCommand(const QString& launchPath, const QStringList& arguments, Duration timeout);
[[nodiscard]] CommandResult runCommand(const QString& launchPath, const QStringList& arguments, Duration timeout,
                                       const CommandWatch& watch);

// For a program that is ending: the commands that real processes run are asked to end
// (SIGTERM to each one's process group, SIGKILL if it still runs two seconds later), and each
// such run returns once its command ended; runs that had not yet started a command return at
// once without starting it. Safe to call from a signal handler.
void endRunningCommands();
// Lets commands start again after endRunningCommands (tests).
void resumeCommandsForTesting();

}  // namespace platform
