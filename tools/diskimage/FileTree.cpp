#include "tools/diskimage/FileTree.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"

namespace diskimage::tree {
namespace {

using platform::FileDescriptor;

Entry::Type typeOf(mode_t mode) {
  if (S_ISDIR(mode)) return Entry::Type::Folder;
  if (S_ISREG(mode)) return Entry::Type::File;
  if (S_ISLNK(mode)) return Entry::Type::Link;
  return Entry::Type::Other;
}

// The names in the folder open as `fd` (which stays open), without "." and "..".
std::vector<QByteArray> namesIn(int fd) {
  std::vector<QByteArray> names;
  const int own = ::dup(fd);
  DIR* dir = own < 0 ? nullptr : ::fdopendir(own);
  if (!dir) {
    if (own >= 0) ::close(own);
    return names;
  }
  ::rewinddir(dir);
  while (const dirent* e = ::readdir(dir)) {
    const QByteArray name(e->d_name);
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

int openFolderAt(int parent, const QByteArray& name) {
  return ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The folder that holds `path` and the last component, opened.
int openParent(const QByteArray& path, QByteArray* name) {
  const qsizetype slash = path.lastIndexOf('/');
  *name = slash < 0 ? path : path.mid(slash + 1);
  const QByteArray parent = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
  return ::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

bool gone(int result) { return result == 0 || errno == ENOENT; }

}  // namespace

std::vector<Entry> entriesOf(const QByteArray& path) {
  std::vector<Entry> entries;
  const FileDescriptor folder(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0) return entries;
  for (const QByteArray& name : namesIn(folder.get())) {
    struct stat st {};
    if (::fstatat(folder.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    entries.push_back({name, typeOf(st.st_mode), static_cast<qint64>(st.st_size)});
  }
  return entries;
}

bool removeTree(const QByteArray& path) {
  QByteArray name;
  FileDescriptor top(openParent(path, &name));
  if (top.get() < 0) return errno == ENOENT;
  struct stat st {};
  if (::fstatat(top.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return gone(::unlinkat(top.get(), name.constData(), 0));

  // Depth first, one level's folder open at a time: going down opens the child, going up opens
  // "..", so that no tree is too deep for the descriptors a process may hold.
  struct Level {
    QByteArray name;
    std::vector<QByteArray> names;
    std::size_t next = 0;
  };
  bool ok = true;
  // Best effort: where it fails, opening or emptying the folder fails and says so.
  [[maybe_unused]] const int writable = ::fchmodat(top.get(), name.constData(), (st.st_mode & 07777) | S_IRWXU, 0);
  FileDescriptor current(openFolderAt(top.get(), name));
  if (current.get() < 0) return errno == ENOENT;
  std::vector<Level> levels{{name, namesIn(current.get())}};
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next < level.names.size()) {
      const QByteArray& child = level.names[level.next++];
      if (::fstatat(current.get(), child.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        ok = ok && errno == ENOENT;
        continue;
      }
      if (!S_ISDIR(st.st_mode)) {
        ok = gone(::unlinkat(current.get(), child.constData(), 0)) && ok;
        continue;
      }
      [[maybe_unused]] const int childWritable = ::fchmodat(current.get(), child.constData(), (st.st_mode & 07777) | S_IRWXU, 0);
      const int inner = openFolderAt(current.get(), child);
      if (inner < 0) {
        ok = ok && errno == ENOENT;
        continue;
      }
      current.reset(inner);
      levels.push_back({child, namesIn(inner)});
      continue;
    }
    const QByteArray done = level.name;
    levels.pop_back();
    const int up = levels.empty() ? ::dup(top.get()) : ::openat(current.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    current.reset(up);
    if (up < 0) return false;
    ok = gone(::unlinkat(current.get(), done.constData(), AT_REMOVEDIR)) && ok;
  }
  return ok;
}

bool replaceTree(const QByteArray& from, const QByteArray& to) {
  return removeTree(to) && ::rename(from.constData(), to.constData()) == 0;
}

qint64 allocatedBytes(const QByteArray& path) {
  struct stat st {};
  if (::lstat(path.constData(), &st) != 0) return 0;
  qint64 total = static_cast<qint64>(st.st_blocks) * 512;
  if (!S_ISDIR(st.st_mode)) return total;
  for (const Entry& e : entriesOf(path)) total += allocatedBytes(path + '/' + e.name);
  return total;
}

}  // namespace diskimage::tree
