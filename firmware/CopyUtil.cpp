#include "firmware/CopyUtil.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <climits>
#include <cstdio>

#include "platform/Application.h"
#include "platform/FileOperations.h"
#include "platform/Queues.h"
#include "platform/Timer.h"

namespace {

constexpr double kProgressInterval = 0.5;  // seconds

// A hidden name beside the target that no other copy uses; the target's own name may be long.
QString partialPathFor(const QUrl& target) {
  if (!target.isLocalFile()) return {};
  const QString folder = QFileInfo(target.toLocalFile()).absolutePath();
  return QStringLiteral("%1/.ravlio-copy-%2.part").arg(folder).arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

void printLine(const QString& line) {
  std::printf("%s\n", line.toLocal8Bit().constData());
  std::fflush(stdout);
}

}  // namespace

std::shared_ptr<CopyUtil> CopyUtil::create(const QUrl& sourceURL, const QUrl& targetURL) {
  return create(sourceURL, targetURL, platform::FileOperations::defaultOperations());
}

std::shared_ptr<CopyUtil> CopyUtil::create(const QUrl& sourceURL, const QUrl& targetURL,
                                           platform::FileOperations& fileManager) {
  return std::make_shared<CopyUtil>(Passkey{}, sourceURL, targetURL, fileManager);
}

CopyUtil::CopyUtil(Passkey, const QUrl& sourceURL, const QUrl& targetURL, platform::FileOperations& fileManager)
    : sourceURL(sourceURL), targetURL(targetURL), fileManager(fileManager), partialPath_(partialPathFor(targetURL)) {}

CopyUtil::~CopyUtil() {
  if (timer) timer->invalidate();
}

void CopyUtil::start() {
  stopTimer();
  const std::weak_ptr<CopyUtil> weak = weak_from_this();
  timer = platform::Timer::scheduledTimer(platform::Duration(kProgressInterval), true, [weak] {
    if (const std::shared_ptr<CopyUtil> self = weak.lock()) self->checkFileSize();
  });
  // The worker holds the object until the copy has been reported and the timer stopped.
  platform::GlobalQueue::shared().async(
      [self = shared_from_this(), timer = timer] { self->copyFile(timer); });
}

void CopyUtil::stopTimer() {
  if (!timer) return;
  timer->invalidate();
  timer.reset();
}

void CopyUtil::copyFile(const std::shared_ptr<platform::Timer>& copyTimer) {
  const platform::Cancellation& quitting = platform::Application::shutdownCancellation();
  QString error;
  bool copied = false;
  if (!sourceURL.isLocalFile() || !targetURL.isLocalFile() || partialPath_.isEmpty()) {
    error = QStringLiteral("Cannot copy %1 to %2: not a local file").arg(sourceURL.toString(), targetURL.toString());
  } else {
    copied = fileManager.copyItemReplacing(sourceURL.toLocalFile(), targetURL.toLocalFile(), partialPath_, &quitting,
                                           &error);
  }
  if (!copied) printLine(QStringLiteral("error: ") + error);

  // The application is quitting: its loop will run no more reports, and waiting for it would
  // hold the exit up. Nothing was left under the target's name.
  const bool reported = !quitting.isCancelled() && platform::MainQueue::sync(
                                                       [this, copied] {
                                                         if (CopyUtilDelegate* target = delegate()) {
                                                           if (copied) {
                                                             target->copyDidFinish();
                                                           } else {
                                                             target->copyDidFail();
                                                           }
                                                         }
                                                         // Right after the report, on the main thread, so
                                                         // that no progress follows it.
                                                         stopTimer();
                                                       },
                                                       &quitting);
  if (!reported) copyTimer->invalidate();
}

void CopyUtil::checkFileSize() {
  QString error;
  const std::optional<platform::ItemAttributes> source = fileManager.attributesOfItem(sourceURL.toLocalFile(), &error);
  if (!source) {
    printLine(QStringLiteral("error: ") + error);
    return;
  }
  // The file being written: the target's name gets it only once it is complete.
  const std::optional<platform::ItemAttributes> target = fileManager.attributesOfItem(partialPath_, &error);
  if (!target) {
    printLine(QStringLiteral("error: ") + error);
    return;
  }
  const std::optional<int> percent = percentCopied(target->size, source->size);
  if (!percent) return;
  if (CopyUtilDelegate* receiver = delegate()) receiver->copyProgress(*percent);
}

std::optional<int> CopyUtil::percentCopied(std::uint64_t copied, std::uint64_t total) {
  if (copied == 0 || total == 0) return std::nullopt;
  const float share = static_cast<float>(copied) / static_cast<float>(total) * 100.0f;
  // A share past what an int holds (a file far larger than its source) would not convert.
  if (!(share < static_cast<float>(INT_MAX))) return INT_MAX;
  return static_cast<int>(share);
}
