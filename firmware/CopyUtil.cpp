#include "firmware/CopyUtil.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <climits>
#include <cstdio>
#include <string_view>

#include "platform/Application.h"
#include "platform/FileOperations.h"
#include "platform/Queues.h"
#include "platform/Timer.h"

namespace {

constexpr double kProgressInterval = 0.5;  // seconds

// The file being written is named ".ravlio-copy-XXXXXXXX.part" (eight lower-case hex digits):
// hidden, beside the target, and short, since the target's own name may be as long as a name
// can be.
constexpr std::string_view kPartialPrefix = ".ravlio-copy-";
constexpr std::string_view kPartialSuffix = ".part";
constexpr std::size_t kPartialDigits = 8;

QString partialPathFor(const QUrl& target) {
  if (!target.isLocalFile()) return {};
  const QString folder = QFileInfo(target.toLocalFile()).absolutePath();
  return QStringLiteral("%1/%2%3%4")
      .arg(folder, QLatin1StringView(kPartialPrefix))
      .arg(QRandomGenerator::global()->generate(), kPartialDigits, 16, QLatin1Char('0'))
      .arg(QLatin1StringView(kPartialSuffix));
}

bool isPartialName(std::string_view name) {
  if (name.size() != kPartialPrefix.size() + kPartialDigits + kPartialSuffix.size() || !name.starts_with(kPartialPrefix) ||
      !name.ends_with(kPartialSuffix)) {
    return false;
  }
  const std::string_view digits = name.substr(kPartialPrefix.size(), kPartialDigits);
  return digits.find_first_not_of("0123456789abcdef") == std::string_view::npos;
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
    // What copies cut short (the program killed, the card pulled) left beside the target.
    platform::removeAbandonedFiles(QFileInfo(partialPath_).absolutePath(), isPartialName);
    copied = fileManager.copyItemReplacing(sourceURL.toLocalFile(), targetURL.toLocalFile(), partialPath_, &quitting,
                                           &error, &ending_);
  }
  ending_ = true;
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
  // Once the copy is complete its file takes the target's name (or is gone): there is nothing
  // left to measure, and the final report follows.
  if (ending_) return;
  QString error;
  const std::optional<platform::ItemAttributes> source = fileManager.attributesOfItem(sourceURL.toLocalFile(), &error);
  if (!source) {
    printLine(QStringLiteral("error: ") + error);
    return;
  }
  // The file being written: the target's name gets it only once it is complete.
  const std::optional<platform::ItemAttributes> target = fileManager.attributesOfItem(partialPath_, &error);
  if (!target) {
    // Gone because the copy ended meanwhile: it is set before the file is renamed or removed.
    if (!ending_) printLine(QStringLiteral("error: ") + error);
    return;
  }
  if (ending_) return;
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
