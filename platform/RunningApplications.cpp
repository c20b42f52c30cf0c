#include "platform/RunningApplications.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"

namespace platform {
namespace {

// The scan runs on the way to the first window, over every process of the machine, so it reads
// /proc with plain system calls: a QFile or a QFileInfo per entry costs about twice as much.

std::string procPath(qint64 pid, const char* entry) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%lld/%s", static_cast<long long>(pid), entry);
  return path;
}

// A whole /proc file (they are small, and their size is not known beforehand); empty when it
// cannot be read.
std::string readProcFile(const std::string& path) {
  std::string text;
  const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

// What the scan needs of /proc/<pid>/status, read once.
struct Status {
  std::string realUid;  // the first of the "Uid:" line's ids
  std::string state;    // the "State:" line's letter
};

// The text after "<field>:" on its line, without the blanks around it.
std::string_view fieldOf(std::string_view status, std::string_view field) {
  size_t at = 0;
  for (;;) {
    if (status.substr(at, field.size()) == field && status.substr(at + field.size(), 1) == ":") break;
    at = status.find('\n', at);
    if (at == std::string_view::npos) return {};
    ++at;
  }
  at += field.size() + 1;
  std::string_view value = status.substr(at, status.find('\n', at) - at);
  const size_t first = value.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  value.remove_prefix(first);
  return value.substr(0, value.find_last_not_of(" \t\r") + 1);
}

std::optional<Status> statusOf(qint64 pid) {
  const std::string text = readProcFile(procPath(pid, "status"));
  if (text.empty()) return std::nullopt;
  Status status;
  // "Uid:" lists real, effective, saved and file-system ids; the real one owns the process.
  const std::string_view uids = fieldOf(text, "Uid");
  status.realUid = uids.substr(0, uids.find('\t'));
  status.state = fieldOf(text, "State").substr(0, 1);
  return status;
}

// A process that has exited but was not reaped yet still has a /proc entry; it is gone all
// the same.
bool isExited(const std::optional<Status>& status) {
  return !status || status->state.empty() || status->state == "Z" || status->state == "X";
}
bool isExited(qint64 pid) { return isExited(statusOf(pid)); }

QString identifierOf(qint64 pid) {
  char target[PATH_MAX];
  const ssize_t n = ::readlink(procPath(pid, "exe").c_str(), target, sizeof target);
  if (n > 0 && static_cast<size_t>(n) < sizeof target) {
    std::string_view path(target, static_cast<size_t>(n));
    // A replaced or removed executable is shown with this suffix.
    constexpr std::string_view deleted = " (deleted)";
    if (path.size() >= deleted.size() && path.substr(path.size() - deleted.size()) == deleted) {
      path.remove_suffix(deleted.size());
    }
    const size_t slash = path.rfind('/');
    if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
  }
  return QString::fromUtf8(readProcFile(procPath(pid, "comm"))).trimmed();
}

bool isAlive(qint64 pid) {
  if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return false;
  return !isExited(pid);
}

// The pid still names the process that was listed: a pid freed and reused since the scan
// belongs to another program, which must not receive our signal.
bool isSameProcess(const RunningApplication& app) {
  return app.pid > 0 && isAlive(app.pid) && identifierOf(app.pid) == app.identifier;
}

// The numbered entries of /proc, in the order of their names.
std::vector<qint64> processIds() {
  std::vector<std::string> names;
  if (DIR* proc = ::opendir("/proc")) {
    while (const dirent* entry = ::readdir(proc)) {
      const std::string_view name(entry->d_name);
      if (!name.empty() && name.find_first_not_of("0123456789") == std::string_view::npos) names.emplace_back(name);
    }
    ::closedir(proc);
  }
  std::sort(names.begin(), names.end());
  std::vector<qint64> pids;
  pids.reserve(names.size());
  for (const std::string& name : names) pids.push_back(std::strtoll(name.c_str(), nullptr, 10));
  return pids;
}

class ProcProcessSource final : public ProcessSource {
 public:
  std::vector<RunningApplication> runningApplications() override {
    std::vector<RunningApplication> out;
    const qint64 self = ::getpid();
    const std::string uid = std::to_string(::getuid());
    for (const qint64 pid : processIds()) {
      if (pid == self) continue;
      const std::optional<Status> status = statusOf(pid);
      if (!status || status->realUid != uid) continue;
      if (isExited(status)) continue;
      const QString identifier = identifierOf(pid);
      if (identifier.isEmpty()) continue;
      out.push_back({pid, identifier});
    }
    return out;
  }

  // Only asks: a process that received the request is left to quit in its own time.
  bool terminate(const RunningApplication& app) override {
    if (!isSameProcess(app)) return true;
    return ::kill(static_cast<pid_t>(app.pid), SIGTERM) == 0 || errno == ESRCH;
  }

  bool forceTerminate(const RunningApplication& app) override {
    if (!isSameProcess(app)) return true;
    return ::kill(static_cast<pid_t>(app.pid), SIGKILL) == 0 || errno == ESRCH;
  }
};

ProcProcessSource& procSource() {
  static ProcProcessSource source;
  return source;
}

std::atomic<ProcessSource*> gSource{nullptr};

}  // namespace

ProcessSource& processes() {
  ProcessSource* s = gSource.load(std::memory_order_acquire);
  return s ? *s : procSource();
}

void setProcessSource(ProcessSource* source) { gSource.store(source, std::memory_order_release); }

}  // namespace platform
