#include "tools/diskimage/AttachRoot.h"

#include <QCryptographicHash>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "tools/diskimage/FileTree.h"

namespace diskimage {
namespace {

const QByteArray kRecordPrefix = ".held-";


// The fields of /proc/<pid>/stat after the command (which is in parentheses and may hold
// anything): the state is the first, the start time the twentieth.
constexpr int kStateField = 0;
constexpr int kStartTimeField = 19;

std::optional<Holder> readRecord(const QByteArray& recordPath) {
  char target[64];
  const ssize_t n = ::readlink(recordPath.constData(), target, sizeof target);
  if (n <= 0 || n >= static_cast<ssize_t>(sizeof target)) return std::nullopt;
  const QList<QByteArray> parts = QByteArray(target, n).split(' ');
  bool pidOk = false;
  bool startOk = false;
  Holder h{parts.value(0).toLongLong(&pidOk), parts.value(1).toULongLong(&startOk)};
  if (parts.size() != 2 || !pidOk || !startOk || h.pid <= 0) return std::nullopt;
  return h;
}

}  // namespace

std::optional<Holder> Holder::of(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (pid <= 0 || !stat.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray text = stat.readAll();
  const qsizetype close = text.lastIndexOf(')');
  if (close < 0) return std::nullopt;
  const QList<QByteArray> fields = text.mid(close + 2).split(' ');
  if (fields.size() <= kStartTimeField) return std::nullopt;
  const QByteArray state = fields[kStateField];
  if (state == "Z" || state == "X") return std::nullopt;  // ended, not yet reaped
  bool ok = false;
  const quint64 start = fields[kStartTimeField].toULongLong(&ok);
  if (!ok) return std::nullopt;
  return Holder{pid, start};
}

bool Holder::isRunning() const {
  const std::optional<Holder> now = of(pid);
  return now && now->startTime == startTime;
}

AttachRoot::Lock::Lock(const AttachRoot& root)
    : fd_(::open(root.root_.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
  if (fd_.get() < 0) return;
  int r = 0;
  while ((r = ::flock(fd_.get(), LOCK_EX)) != 0 && errno == EINTR) {
  }
  locked_ = r == 0;
}

QByteArray AttachRoot::recordPath(const QByteArray& name) const {
  return path(kRecordPrefix + QCryptographicHash::hash(name, QCryptographicHash::Sha1).toHex());
}

std::optional<Holder> AttachRoot::holderOf(const QByteArray& name) const { return readRecord(recordPath(name)); }

bool AttachRoot::hold(const QByteArray& name, const Holder& holder) const {
  const QByteArray record = recordPath(name);
  const QByteArray text = QByteArray::number(holder.pid) + ' ' + QByteArray::number(holder.startTime);
  if (::unlink(record.constData()) != 0 && errno != ENOENT) return false;
  return ::symlink(text.constData(), record.constData()) == 0;
}

void AttachRoot::release(const QByteArray& name) const { ::unlink(recordPath(name).constData()); }

void AttachRoot::clearLeftovers() const {
  const std::vector<tree::Entry> entries = tree::entriesOf(root_);
  for (const tree::Entry& e : entries) {
    if (e.name.startsWith(kRecordPrefix)) continue;
    const std::optional<Holder> holder = holderOf(e.name);
    // A folder with no record is none of ours, unless it is named as our staging folders are
    // (one whose attach ended before it could say who holds it).
    if (holder ? holder->isRunning() : !e.name.startsWith(AttachRoot::kStagingPrefix)) continue;
    if (tree::removeTree(path(e.name))) release(e.name);
  }
  for (const tree::Entry& e : entries) {
    if (!e.name.startsWith(kRecordPrefix) || e.type != tree::Entry::Type::Link) continue;
    const std::optional<Holder> holder = readRecord(path(e.name));
    if (!holder || !holder->isRunning()) ::unlink(path(e.name).constData());
  }
}

}  // namespace diskimage
