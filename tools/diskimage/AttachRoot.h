#pragma once

#include <QByteArray>

#include <optional>

#include "platform/FileDescriptor.h"

// Who holds what lies in the attach root. Every folder there (a volume, or an attach's
// staging folder) has a holder: the process whose life keeps it, named by its process id and
// its start time, so that a process id used again is not taken for it. A volume's holder is
// the program that asked for the attach (it reads the volume, then detaches it); a staging
// folder's is the attaching tool. A folder whose holder has ended, or that has none, was left
// by a run cut short, and the next attach clears it.
//
// The holder is recorded beside the folder as a hidden link ".held-<SHA-1 of the name>" whose
// target is "<pid> <start time>": made in one step, so never read half-written. Every change to
// the root's names happens under a lock on the root folder itself, so that clearing never
// races a run that is placing its volume.
namespace diskimage {

struct Holder {
  qint64 pid = 0;
  quint64 startTime = 0;  // clock ticks after boot, from /proc/<pid>/stat

  // The process `pid` as it runs now; nullopt when there is none (or only its zombie).
  [[nodiscard]] static std::optional<Holder> of(qint64 pid);
  [[nodiscard]] bool isRunning() const;
};

class AttachRoot {
 public:
  explicit AttachRoot(const QByteArray& root) : root_(root) {}

  // Staging folders are named this, then six characters of their own.
  static constexpr char kStagingPrefix[] = ".attach-";

  // Holds the lock while it lives; locked() says whether it got it.
  class Lock {
   public:
    explicit Lock(const AttachRoot& root);
    [[nodiscard]] bool locked() const { return locked_; }

   private:
    platform::FileDescriptor fd_;
    bool locked_ = false;
  };

  // Record and forget who holds the folder `name`; both under the lock.
  [[nodiscard]] bool hold(const QByteArray& name, const Holder& holder) const;
  void release(const QByteArray& name) const;

  // Removes every folder whose holder has ended, every staging folder without one, and the
  // records of ended holders. Under the lock.
  void clearLeftovers() const;

  [[nodiscard]] QByteArray path(const QByteArray& name) const { return root_ + '/' + name; }

 private:
  [[nodiscard]] QByteArray recordPath(const QByteArray& name) const;
  [[nodiscard]] std::optional<Holder> holderOf(const QByteArray& name) const;

  QByteArray root_;
};

}  // namespace diskimage
