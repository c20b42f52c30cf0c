#pragma once

#include <QString>
#include <QUrl>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/Delegate.h"

namespace platform {
class FileOperations;
class Timer;
}  // namespace platform

// Receives a copy's reports, all on the main thread.
class CopyUtilDelegate {
 public:
  virtual ~CopyUtilDelegate() = default;
  // The copied share in whole percent, on a progress tick that could measure it.
  virtual void copyProgress(int percent) = 0;
  // Once, after a successful copy.
  virtual void copyDidFinish() = 0;
  // Once, after a failed copy.
  virtual void copyDidFail() = 0;
};

// Copies one file (the firmware file) onto the memory card on a worker, and reports the share
// copied every 0.5 s by comparing the size of the file being written with the source's.
// Never leaves a partial file under the target's name, and clears the partial files that
// earlier copies cut short left in the target's folder. The object keeps itself alive (through
// its worker) until the copy has ended and its timer has stopped; its creator need not hold it.
class CopyUtil : public std::enable_shared_from_this<CopyUtil> {
  struct Passkey {};

 public:
  // `targetURL` is the full path of the copy, file name included. `fileManager` serves every
  // file operation and must outlive the copy.
  [[nodiscard]] static std::shared_ptr<CopyUtil> create(const QUrl& sourceURL, const QUrl& targetURL);
  [[nodiscard]] static std::shared_ptr<CopyUtil> create(const QUrl& sourceURL, const QUrl& targetURL,
                                                        platform::FileOperations& fileManager);
  CopyUtil(Passkey, const QUrl& sourceURL, const QUrl& targetURL, platform::FileOperations& fileManager);
  ~CopyUtil();
  CopyUtil(const CopyUtil&) = delete;
  CopyUtil& operator=(const CopyUtil&) = delete;

  // Set on the main thread before start(). A QObject delegate that is destroyed is not called.
  void setDelegate(CopyUtilDelegate* delegate) { delegate_ = delegate; }
  [[nodiscard]] CopyUtilDelegate* delegate() const { return delegate_.get(); }

  // Starts the copy and the progress timer (first tick 0.5 s from now) and returns at once.
  // Once per object, on the main thread.
  void start();
  // The timer's action: reports the share copied so far, or nothing when it cannot be measured.
  void checkFileSize();

  // The share rule: `copied` of `total` bytes in whole percent, computed in single precision
  // and truncated; nothing when either size is 0.
  [[nodiscard]] static std::optional<int> percentCopied(std::uint64_t copied, std::uint64_t total);

  const QUrl sourceURL;
  const QUrl targetURL;
  platform::FileOperations& fileManager;
  // The file being written, beside the target, until it is renamed over the target.
  [[nodiscard]] const QString& partialPath() const { return partialPath_; }

 private:
  void copyFile(const std::shared_ptr<platform::Timer>& timer);
  void stopTimer();

  const QString partialPath_;
  // Set by the worker once the copy is complete or has failed, before its file is renamed or
  // removed; from then on the progress check looks at nothing.
  std::atomic<bool> ending_{false};
  std::shared_ptr<platform::Timer> timer;  // main thread only
  platform::WeakDelegate<CopyUtilDelegate> delegate_;
};
