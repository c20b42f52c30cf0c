#pragma once

#include <unistd.h>

namespace platform {

// Owns one file descriptor and closes it once. The result of an explicit close() is the
// caller's to check; the destructor's is not looked at.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() { close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  [[nodiscard]] int get() const { return fd_; }
  // Closes the one held and holds `fd` instead.
  void reset(int fd) {
    close();
    fd_ = fd;
  }
  int close() {
    if (fd_ < 0) return 0;
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

}  // namespace platform
