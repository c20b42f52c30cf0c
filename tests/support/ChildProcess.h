#pragma once

#include <QFile>
#include <QString>

#include <csignal>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/RunningApplications.h"

extern char** environ;

namespace testing_support {

// `s` as one word of a shell command, in the bytes the file system has for it.
inline std::string quoted(const QString& s) {
  std::string out = "'";
  for (const char ch : QFile::encodeName(s).toStdString()) out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return out + "'";
}

// A shell child of the test, reaped (and killed if still there) when it goes.
class ChildProcess {
 public:
  explicit ChildProcess(const std::string& script) {
    const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
    if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = 0;
  }
  ~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      reap();
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  [[nodiscard]] pid_t pid() const { return pid_; }
  // Waits for it to end; the signal that ended it (0 when it exited normally).
  int reap() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    reaped_ = true;
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }
  // Still running (not ended, not even waiting to be reaped).
  [[nodiscard]] bool isRunning() const {
    int status = 0;
    return pid_ > 0 && !reaped_ && ::waitpid(pid_, &status, WNOHANG) == 0;
  }

 private:
  pid_t pid_ = 0;
  bool reaped_ = false;
};

// Waits until the child has exec'd its program, so that /proc lists it under `identifier`.
inline std::optional<platform::RunningApplication> findProcess(pid_t pid, const QString& identifier) {
  for (int i = 0; i < 500; ++i) {
    for (const auto& app : platform::processes().runningApplications()) {
      if (app.pid == pid && app.identifier == identifier) return app;
    }
    ::usleep(2000);
  }
  return std::nullopt;
}

}  // namespace testing_support
