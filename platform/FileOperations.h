#pragma once

#include <QString>

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace platform {

class Cancellation;

struct ItemAttributes {
  std::uint64_t size = 0;
  bool isRegularFile = false;
  bool isDirectory = false;
  bool isSymbolicLink = false;
};

// The file operations of a copy onto a removable volume. Each system call the copy makes goes
// through a virtual step, so that tests can fail any one of them (a full or removed card).
// The default object is stateless and may be used from any thread.
class FileOperations {
 public:
  static FileOperations& defaultOperations();

  FileOperations() = default;
  virtual ~FileOperations() = default;
  FileOperations(const FileOperations&) = delete;
  FileOperations& operator=(const FileOperations&) = delete;

  // The attributes of the item at `path` itself (a link is not followed); nothing, with the
  // reason in `error`, when they cannot be read.
  [[nodiscard]] std::optional<ItemAttributes> attributesOfItem(const QString& path, QString* error = nullptr) const;

  // Copies the regular file `source` over `target` so that `target` never holds a partial
  // copy: writes the new file `partial` (which must not exist; it goes beside `target`),
  // flushes it to the disk, checks its size, renames it over `target` and flushes the folder.
  // On failure `partial` is gone and `error` says why. `cancel` ends the copy early (a failure).
  // `partial` is locked (flock) while it is written, so that a look for leftovers beside it can
  // tell a live copy from one cut short. `ending`, when given, is set just before `partial` is
  // renamed or removed: a watcher that then finds no `partial` knows the copy has ended.
  [[nodiscard]] bool copyItemReplacing(const QString& source, const QString& target, const QString& partial,
                                       const Cancellation* cancel, QString* error,
                                       std::atomic<bool>* ending = nullptr);

 protected:
  // The steps, with the system calls' conventions (-1 and errno on failure).
  virtual int openFile(const char* path, int flags, mode_t mode);
  // Moves up to `length` bytes from `from` to `to` at their file offsets: in the kernel where
  // it can, else through a buffer. 0 means `from` has ended.
  virtual ssize_t transfer(int from, int to, std::size_t length);
  virtual int syncFile(int fd);
  virtual int renameFile(const char* from, const char* to);
};

// Removes the files in `folder` that `isOurs` claims by name and that no one holds locked (as
// copyItemReplacing holds its partial file): what runs cut short left. Only regular files with
// a single link go; links are never followed, nor are folders entered.
void removeAbandonedFiles(const QString& folder, const std::function<bool(std::string_view name)>& isOurs);
// Locks the open file `fd` so that removeAbandonedFiles leaves it, for as long as it stays open.
// Not every file system locks; the file is then not told from one left behind.
void holdAsInUse(int fd);

// The size in bytes of the item at `path` (a link's own size, not its target's); nothing when
// there is no such item.
[[nodiscard]] std::optional<qint64> fileSize(const QString& path);

}  // namespace platform
