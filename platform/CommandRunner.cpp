#include "platform/CommandRunner.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/FileDescriptor.h"

extern char** environ;

namespace platform {
namespace {

int waitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

class ProcessRunner final : public CommandRunner {
 public:
  CommandResult run(const QString& launchPath, const QStringList& arguments, Duration timeout) override {
    CommandResult result;
    const std::string path = launchPath.toStdString();
    std::vector<std::string> args{path};
    for (const QString& a : arguments) args.push_back(a.toStdString());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    FileDescriptor readEnd(pipeFds[0]);
    FileDescriptor writeEnd(pipeFds[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own, so that a time-out ends the command's children too.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    writeEnd.close();
    if (spawned != 0) return result;

    using SteadyClock = std::chrono::steady_clock;
    const auto deadline = SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(timeout);
    bool timedOut = false;
    char buffer[16384];
    while (true) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
      if (left.count() <= 0) {
        timedOut = true;
        break;
      }
      pollfd p{readEnd.get(), POLLIN, 0};
      const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
      if (ready < 0 && errno != EINTR) break;
      if (ready <= 0) continue;
      const ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // the command (and all it started) closed its output
      result.standardOutput.append(buffer, n);
    }
    if (timedOut) {
      ::kill(-pid, SIGKILL);
      waitFor(pid);
      result.outcome = CommandResult::Outcome::TimedOut;
      return result;
    }
    const int status = waitFor(pid);
    if (WIFEXITED(status)) {
      result.outcome = CommandResult::Outcome::Exited;
      result.exitStatus = WEXITSTATUS(status);
    } else {
      result.outcome = CommandResult::Outcome::Signalled;
    }
    return result;
  }
};

std::atomic<CommandRunner*> gRunner{nullptr};

}  // namespace

CommandRunner& commandRunner() {
  static ProcessRunner processes;
  CommandRunner* installed = gRunner.load(std::memory_order_acquire);
  return installed ? *installed : processes;
}

void setCommandRunner(CommandRunner* runner) { gRunner.store(runner, std::memory_order_release); }

CommandResult runCommand(const QString& launchPath, const QStringList& arguments, Duration timeout) {
  return commandRunner().run(launchPath, arguments, timeout);
}

}  // namespace platform
