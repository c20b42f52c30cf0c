#include "platform/FileOperations.h"

#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/Clock.h"
#include "platform/FileDescriptor.h"

namespace platform {
namespace {

// Large enough for the device to stream, small enough for a cancellation to be seen soon.
constexpr std::size_t kChunk = 8u << 20;
constexpr std::size_t kBuffer = 1u << 20;

QString describe(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

}  // namespace

FileOperations& FileOperations::defaultOperations() {
  static FileOperations operations;
  return operations;
}

std::optional<ItemAttributes> FileOperations::attributesOfItem(const QString& path, QString* error) const {
  struct stat st {};
  if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &st) != 0) {
    const int cause = path.isEmpty() ? ENOENT : errno;
    if (error) *error = QStringLiteral("Cannot read the attributes of %1: %2").arg(path, describe(cause));
    return std::nullopt;
  }
  ItemAttributes attributes;
  attributes.size = static_cast<std::uint64_t>(st.st_size);
  attributes.isRegularFile = S_ISREG(st.st_mode);
  attributes.isDirectory = S_ISDIR(st.st_mode);
  attributes.isSymbolicLink = S_ISLNK(st.st_mode);
  return attributes;
}

void holdAsInUse(int fd) { ::flock(fd, LOCK_EX | LOCK_NB); }

void removeAbandonedFiles(const QString& folder, const std::function<bool(std::string_view name)>& isOurs) {
  const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  DIR* listing = ::fdopendir(dir);
  if (!listing) {
    ::close(dir);
    return;
  }
  while (const dirent* entry = ::readdir(listing)) {
    if (!isOurs(entry->d_name)) continue;
    struct stat st {};
    if (::fstatat(dir, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) continue;
    const FileDescriptor file(::openat(dir, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) continue;
    // Still the file looked at, and no one writing it.
    struct stat opened {};
    if (::fstat(file.get(), &opened) == 0 && opened.st_dev == st.st_dev && opened.st_ino == st.st_ino &&
        ::flock(file.get(), LOCK_EX | LOCK_NB) == 0) {
      ::unlinkat(dir, entry->d_name, 0);
    }
  }
  ::closedir(listing);  // closes `dir` too
}

std::optional<qint64> fileSize(const QString& path) {
  const std::optional<ItemAttributes> attributes = FileOperations::defaultOperations().attributesOfItem(path);
  if (!attributes) return std::nullopt;
  return static_cast<qint64>(attributes->size);
}

bool FileOperations::copyItemReplacing(const QString& source, const QString& target, const QString& partial,
                                       const Cancellation* cancel, QString* error, std::atomic<bool>* ending) {
  const QByteArray sourceName = QFile::encodeName(source);
  const QByteArray targetName = QFile::encodeName(target);
  const QByteArray partialName = QFile::encodeName(partial);
  bool partialExists = false;
  const auto ended = [&] {
    if (ending) ending->store(true);
  };
  auto fail = [&](const QString& what, int cause) {
    if (error) *error = QStringLiteral("%1: %2").arg(what, describe(cause));
    if (partialExists) {
      ended();
      ::unlink(partialName.constData());
    }
    return false;
  };
  if (source.isEmpty() || target.isEmpty() || partial.isEmpty()) return fail(QStringLiteral("Cannot copy"), EINVAL);

  const FileDescriptor in(openFile(sourceName.constData(), O_RDONLY | O_CLOEXEC, 0));
  if (in.get() < 0) return fail(QStringLiteral("Cannot open %1").arg(source), errno);
  struct stat sourceStat {};
  if (::fstat(in.get(), &sourceStat) != 0) return fail(QStringLiteral("Cannot read %1").arg(source), errno);
  if (!S_ISREG(sourceStat.st_mode)) return fail(QStringLiteral("Cannot copy %1").arg(source), EINVAL);
  const auto size = static_cast<std::uint64_t>(sourceStat.st_size);
  ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

  // O_EXCL: a file already there under the partial name is not ours to overwrite or remove.
  FileDescriptor out(openFile(partialName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (out.get() < 0) return fail(QStringLiteral("Cannot create %1").arg(partial), errno);
  partialExists = true;
  // Held until the file has its final name or is gone, past the close of `out` that checks the
  // last writes. Not every file system locks; the copy goes on without.
  holdAsInUse(out.get());
  const FileDescriptor lock(::fcntl(out.get(), F_DUPFD_CLOEXEC, 0));

  std::uint64_t copied = 0;
  std::uint64_t started = 0;  // written out up to here has been asked for
  std::uint64_t settled = 0;  // and up to here has reached the disk
  while (copied < size) {
    if (cancel && cancel->isCancelled()) return fail(QStringLiteral("Copy of %1 stopped").arg(source), ECANCELED);
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - copied));
    const ssize_t moved = transfer(in.get(), out.get(), wanted);
    if (moved < 0) {
      if (errno == EINTR) continue;
      return fail(QStringLiteral("Cannot write %1").arg(partial), errno);
    }
    if (moved == 0) break;
    copied += static_cast<std::uint64_t>(moved);
    // Write each finished chunk out while the next one is copied, and wait for the chunk before
    // it: the file's size then follows what has reached the card, not the page cache, and a
    // card that fails is found while copying.
    if (copied - started >= kChunk || copied == size) {
      ::sync_file_range(out.get(), static_cast<off_t>(started), static_cast<off_t>(copied - started),
                        SYNC_FILE_RANGE_WRITE);
      if (started > settled &&
          ::sync_file_range(out.get(), static_cast<off_t>(settled), static_cast<off_t>(started - settled),
                            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER) != 0 &&
          errno != EINVAL && errno != ESPIPE && errno != ENOSYS && errno != EOPNOTSUPP) {
        return fail(QStringLiteral("Cannot write %1").arg(partial), errno);
      }
      settled = started;
      started = copied;
    }
  }
  if (copied != size) return fail(QStringLiteral("%1 ended early").arg(source), EIO);
  if (cancel && cancel->isCancelled()) return fail(QStringLiteral("Copy of %1 stopped").arg(source), ECANCELED);
  if (syncFile(out.get()) != 0) return fail(QStringLiteral("Cannot write %1").arg(partial), errno);
  struct stat written {};
  if (::fstat(out.get(), &written) != 0) return fail(QStringLiteral("Cannot read %1").arg(partial), errno);
  if (static_cast<std::uint64_t>(written.st_size) != size) {
    return fail(QStringLiteral("%1 has the wrong size").arg(partial), EIO);
  }
  if (out.close() != 0) return fail(QStringLiteral("Cannot write %1").arg(partial), errno);
  ended();
  if (renameFile(partialName.constData(), targetName.constData()) != 0) {
    return fail(QStringLiteral("Cannot replace %1").arg(target), errno);
  }
  partialExists = false;

  // The rename lasts only once the folder is on the disk; some file systems cannot flush a
  // folder, which is no failure.
  const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
  const FileDescriptor dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0 && ::fsync(dir.get()) != 0 && errno != EINVAL && errno != ENOTSUP && errno != ENOSYS) {
    return fail(QStringLiteral("Cannot write %1").arg(target), errno);
  }
  struct stat replaced {};
  if (::stat(targetName.constData(), &replaced) != 0) return fail(QStringLiteral("Cannot read %1").arg(target), errno);
  if (static_cast<std::uint64_t>(replaced.st_size) != size) {
    ::unlink(targetName.constData());
    return fail(QStringLiteral("%1 has the wrong size").arg(target), EIO);
  }
  return true;
}

int FileOperations::openFile(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

ssize_t FileOperations::transfer(int from, int to, std::size_t length) {
  const ssize_t moved = ::copy_file_range(from, nullptr, to, nullptr, length, 0);
  if (moved >= 0 || (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL)) return moved;
  // Across file systems (a memory card) the kernel may refuse; copy through a buffer.
  static thread_local std::vector<char> buffer(kBuffer);
  const ssize_t got = ::read(from, buffer.data(), std::min(length, buffer.size()));
  if (got <= 0) return got;
  ssize_t done = 0;
  while (done < got) {
    const ssize_t put = ::write(to, buffer.data() + done, static_cast<std::size_t>(got - done));
    if (put < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += put;
  }
  return got;
}

int FileOperations::syncFile(int fd) { return ::fsync(fd); }

int FileOperations::renameFile(const char* from, const char* to) { return ::rename(from, to); }

}  // namespace platform
