#include "platform/CommandRunner.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/FileDescriptor.h"

extern char** environ;

namespace platform {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr auto kWatchInterval = std::chrono::milliseconds(20);
// How long a command asked to end (the program is ending) has before it is killed.
constexpr auto kEndGrace = std::chrono::seconds(2);

// Set by endRunningCommands. The wake pipe tells waiting runs at once: it is written and never
// read (until a test resumes), so it stays readable for every run that has not yet seen it.
std::atomic<bool> gEnding{false};
std::atomic<int> gWakeRead{-1};
std::atomic<int> gWakeWrite{-1};

void makeWakePipe() {
  static std::once_flag once;
  std::call_once(once, [] {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    gWakeRead.store(fds[0]);
    gWakeWrite.store(fds[1]);
  });
}

int waitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

// Puts back the default action of every signal that has a handler; ignored ones stay ignored.
// Async-signal-safe.
void resetCaughtSignals() {
  struct sigaction byDefault = {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  for (int number = 1; number < NSIG; ++number) {
    struct sigaction current = {};
    if (::sigaction(number, nullptr, &current) != 0) continue;
    const bool caught = (current.sa_flags & SA_SIGINFO) != 0 ||
                        (current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN);
    if (caught) ::sigaction(number, &byDefault, nullptr);
  }
}

// Starts `argv` in a process group of its own (so that ending it ends what it started) that
// the kernel kills when the calling thread ends, with standard input empty and standard output
// `outputFd`. Between fork and exec the child makes only async-signal-safe calls. 0 when the
// program could not be started.
pid_t spawn(const char* path, char* const argv[], int outputFd) {
  int errorPipe[2];
  if (::pipe2(errorPipe, O_CLOEXEC) != 0) return 0;
  FileDescriptor errorRead(errorPipe[0]);
  FileDescriptor errorWrite(errorPipe[1]);
  const pid_t parent = ::getpid();
  // No handler of ours runs in the child before exec: signals stay blocked until the child has
  // put back the default action of every signal we catch (as exec would), so one that arrived
  // in between is acted on as the new program would, not by our handler in the child.
  sigset_t all;
  sigset_t old;
  sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, &old);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);  // the caller already went
    if (outputFd == STDOUT_FILENO) {
      ::fcntl(outputFd, F_SETFD, 0);
    } else if (::dup2(outputFd, STDOUT_FILENO) < 0) {
      ::_exit(127);
    }
    // Close-on-exec, so that only the copy on standard input reaches the command (dup2 clears
    // the flag on it).
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null < 0) ::_exit(127);
    if (null == STDIN_FILENO ? ::fcntl(null, F_SETFD, 0) < 0 : ::dup2(null, STDIN_FILENO) < 0) ::_exit(127);
    resetCaughtSignals();
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    ::execve(path, argv, environ);
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(errorWrite.get(), &error, sizeof error);
    ::_exit(127);
  }
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (pid < 0) return 0;
  ::setpgid(pid, pid);  // also here, so that the group exists before we may signal it
  errorWrite.close();
  int error = 0;
  ssize_t n = 0;
  while ((n = ::read(errorRead.get(), &error, sizeof error)) < 0 && errno == EINTR) {
  }
  if (n == static_cast<ssize_t>(sizeof error)) {  // exec failed
    waitFor(pid);
    return 0;
  }
  return pid;
}

class ProcessRunner final : public CommandRunner {
 public:
  CommandResult run(const QString& launchPath, const QStringList& arguments, Duration timeout) override {
    return runWatched(launchPath, arguments, timeout, {});
  }

  CommandResult runWatched(const QString& launchPath, const QStringList& arguments, Duration timeout,
                           const CommandWatch& watch) override {
    CommandResult result;
    makeWakePipe();
    if (gEnding.load()) return result;
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
    const pid_t pid = spawn(path.c_str(), argv.data(), writeEnd.get());
    writeEnd.close();
    if (pid == 0) return result;

    const auto deadline = SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(timeout);
    auto nextWatch = SteadyClock::now() + kWatchInterval;
    auto killAt = SteadyClock::time_point::max();  // set once the program is ending
    bool ending = false;
    bool outputOpen = true;
    int status = 0;
    char buffer[16384];
    while (true) {
      const auto now = SteadyClock::now();
      if (!ending && gEnding.load()) {
        ending = true;
        ::kill(-pid, SIGTERM);
        killAt = now + kEndGrace;
      }
      if (now >= killAt) {
        ::kill(-pid, SIGKILL);
        killAt = SteadyClock::time_point::max();
      }
      const bool timedOut = now >= deadline;
      const bool stopped = !timedOut && watch && now >= nextWatch && !watch(pid);
      if (timedOut || stopped) {
        ::kill(-pid, SIGKILL);
        waitFor(pid);
        result.outcome = timedOut ? CommandResult::Outcome::TimedOut : CommandResult::Outcome::Stopped;
        return result;
      }
      if (watch && now >= nextWatch) nextWatch = now + kWatchInterval;
      if (!outputOpen) {
        // The output is closed; the command may still run, under the same deadline.
        const pid_t reaped = ::waitpid(pid, &status, WNOHANG);
        if (reaped == pid || (reaped < 0 && errno != EINTR)) break;
      }
      auto wakeAt = std::min(deadline, killAt);
      if (watch) wakeAt = std::min(wakeAt, nextWatch);
      auto wait = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now).count();
      wait = std::clamp<long long>(wait, 1, outputOpen ? 1000 : 10);
      pollfd fds[2] = {{outputOpen ? readEnd.get() : -1, POLLIN, 0}, {ending ? -1 : gWakeRead.load(), POLLIN, 0}};
      const int ready = ::poll(fds, 2, static_cast<int>(wait));
      if (ready < 0 && errno != EINTR) break;
      if (ready <= 0 || !outputOpen || fds[0].revents == 0) continue;
      const ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        outputOpen = false;
        continue;
      }
      result.standardOutput.append(buffer, n);
    }
    if (outputOpen) status = waitFor(pid);  // poll failed: nothing more to do than wait
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

CommandResult runCommand(const QString& launchPath, const QStringList& arguments, Duration timeout,
                         const CommandWatch& watch) {
  return commandRunner().runWatched(launchPath, arguments, timeout, watch);
}

void endRunningCommands() {
  gEnding.store(true);
  const int wake = gWakeWrite.load();
  if (wake >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake, &byte, 1);
  }
}

void resumeCommandsForTesting() {
  gEnding.store(false);
  const int wake = gWakeRead.load();
  char buffer[64];
  while (wake >= 0 && ::read(wake, buffer, sizeof buffer) > 0) {
  }
}

}  // namespace platform
