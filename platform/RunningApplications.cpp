#include "platform/RunningApplications.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <optional>
#include <cerrno>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace platform {
namespace {

QString procPath(qint64 pid, const char* entry) {
  return QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1StringView(entry));
}

// What the scan needs of /proc/<pid>/status, read once.
struct Status {
  QByteArray realUid;  // the first of the "Uid:" line's ids
  QByteArray state;    // the "State:" line's letter
};

// The text after "<field>:" on its line, without the blanks around it.
QByteArray fieldOf(const QByteArray& status, const char* field) {
  const QByteArray key = QByteArray(field) + ':';
  qsizetype at = key.size();
  if (!status.startsWith(key)) {
    const qsizetype line = status.indexOf('\n' + key);
    if (line < 0) return {};
    at += line + 1;
  }
  const qsizetype end = status.indexOf('\n', at);
  return status.mid(at, end < 0 ? -1 : end - at).trimmed();
}

std::optional<Status> statusOf(qint64 pid) {
  QFile f(procPath(pid, "status"));
  if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray text = f.readAll();
  Status status;
  // "Uid:" lists real, effective, saved and file-system ids; the real one owns the process.
  const QByteArray uids = fieldOf(text, "Uid");
  status.realUid = uids.left(uids.indexOf('\t'));
  status.state = fieldOf(text, "State").left(1);
  return status;
}

// A process that has exited but was not reaped yet still has a /proc entry; it is gone all
// the same.
bool isExited(const std::optional<Status>& status) {
  return !status || status->state.isEmpty() || status->state == "Z" || status->state == "X";
}
bool isExited(qint64 pid) { return isExited(statusOf(pid)); }

QString identifierOf(qint64 pid) {
  QString target = QFile::symLinkTarget(procPath(pid, "exe"));
  if (!target.isEmpty()) {
    // A replaced or removed executable is shown with this suffix.
    static const QString deleted = QStringLiteral(" (deleted)");
    if (target.endsWith(deleted)) target.chop(deleted.size());
    return QFileInfo(target).fileName();
  }
  QFile comm(procPath(pid, "comm"));
  if (!comm.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(comm.readAll()).trimmed();
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

class ProcProcessSource final : public ProcessSource {
 public:
  std::vector<RunningApplication> runningApplications() override {
    std::vector<RunningApplication> out;
    const qint64 self = ::getpid();
    const QByteArray uid = QByteArray::number(::getuid());
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
      bool isPid = false;
      const qint64 pid = entry.toLongLong(&isPid);
      if (!isPid || pid == self) continue;
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
