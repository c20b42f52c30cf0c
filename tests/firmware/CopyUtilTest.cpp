#include "firmware/CopyUtil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <functional>
#include <future>
#include <optional>
#include <vector>

#include "platform/Application.h"
#include "platform/FileDescriptor.h"
#include "platform/FileOperations.h"
#include "platform/Queues.h"
#include "support/FakeTime.h"
#include "support/TestFiles.h"

namespace {

using testing_support::readFile;

TEST(CopyUtil, PercentRuleInSinglePrecision) {
  struct Case {
    std::uint64_t copied, total;
    std::optional<int> percent;
  };
  const Case cases[] = {
      {250'000, 1'000'000, 25},
      {999'999, 1'000'000, 99},                 // truncated, not rounded
      {33'554'431, 33'554'432, 100},            // single precision rounds the sizes themselves
      {1'500, 1'000, 150},                      // a file that grew past its source
      {0, 1'000, std::nullopt},
      {1'000, 0, std::nullopt},
      {std::uint64_t{1} << 40, 1, INT_MAX},     // past what an int holds
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.copied << " of " << c.total);
    EXPECT_EQ(CopyUtil::percentCopied(c.copied, c.total), c.percent);
  }
}

// A memory card with knobs: how fast it takes data (in fake time), and which step fails.
class Card final : public platform::FileOperations {
 public:
  std::size_t bytesPerChunk = 0;         // 0: as much as asked
  double secondsPerChunk = 0;            // each chunk written takes this long
  double secondsToCreate = 0;            // creating the new file takes this long
  std::optional<std::uint64_t> failAt;   // writing fails with `failError` once this much is written
  int failError = 0;
  std::optional<std::uint64_t> endAt;    // the source seems to end here
  int createError = 0;                   // creating the new file fails so
  int syncError = 0;                     // flushing the new file fails so
  double secondsBeforeRename = 0;        // the complete file waits this long for its name
  double secondsAfterRename = 0;         // the renamed file waits this long to be reported

 protected:
  int openFile(const char* path, int flags, mode_t mode) override {
    if (flags & O_CREAT) {
      if (secondsToCreate > 0) wait(secondsToCreate);
      if (createError) return fail(createError);
    }
    return FileOperations::openFile(path, flags, mode);
  }
  ssize_t transfer(int from, int to, std::size_t length) override {
    if (failAt && written_ >= *failAt) return fail(failError);
    if (endAt && written_ >= *endAt) return 0;
    if (bytesPerChunk) length = std::min(length, bytesPerChunk);
    if (failAt) length = std::min<std::uint64_t>(length, *failAt - written_);
    if (endAt) length = std::min<std::uint64_t>(length, *endAt - written_);
    const ssize_t moved = FileOperations::transfer(from, to, length);
    if (moved > 0) written_ += static_cast<std::uint64_t>(moved);
    if (secondsPerChunk > 0) wait(secondsPerChunk);
    return moved;
  }
  int syncFile(int fd) override { return syncError ? fail(syncError) : FileOperations::syncFile(fd); }
  int renameFile(const char* from, const char* to) override {
    if (secondsBeforeRename > 0) wait(secondsBeforeRename);
    const int renamed = FileOperations::renameFile(from, to);
    if (secondsAfterRename > 0) wait(secondsAfterRename);
    return renamed;
  }

 private:
  static int fail(int error) {
    errno = error;
    return -1;
  }
  // A slow card: the worker sleeps in fake time; quitting ends the wait as it would a real write.
  static void wait(double seconds) { platform::sleepFor(seconds, &platform::Application::shutdownCancellation()); }
  std::atomic<std::uint64_t> written_{0};
};

// The download screen's part; a QObject, as the screen is.
class Reports final : public QObject, public CopyUtilDelegate {
 public:
  explicit Reports(platform::FakeClock& clock) : clock_(clock) {}
  void copyProgress(int percent) override { record(QStringLiteral("%1%").arg(percent)); }
  void copyDidFinish() override { record(QStringLiteral("finished")); }
  void copyDidFail() override { record(QStringLiteral("failed")); }
  std::vector<QString> seen;
  std::vector<double> at;
  bool onMain = true;

 private:
  void record(const QString& what) {
    onMain = onMain && platform::isMainThread();
    seen.push_back(what);
    at.push_back(testing_support::seconds(clock_));
  }
  platform::FakeClock& clock_;
};

class Copy : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setClock(&clock_);
    platform::Application::resetForTests();
    folder_ = dir_.filePath(QStringLiteral("CARD"));
    ASSERT_TRUE(QDir().mkpath(folder_));
  }
  void TearDown() override {
    testing_support::settle(clock_);
    platform::GlobalQueue::shared().waitForIdle();
    QCoreApplication::processEvents();
    platform::setClock(nullptr);
    platform::Application::resetForTests();
  }

  QString source() const { return dir_.filePath(QStringLiteral("work/FW0110.fir")); }
  QString target() const { return folder_ + QStringLiteral("/FW0110.fir"); }
  static QByteArray bytes(int size, char fill = 'n') { return QByteArray(size, fill); }
  QStringList cardEntries() const {
    return testing_support::entriesWithHidden(folder_);
  }

  // Starts a copy with `card`'s behaviour; the object is held only by itself.
  std::weak_ptr<CopyUtil> start(Card& card, Reports& reports) {
    auto copy = CopyUtil::create(QUrl::fromLocalFile(source()), QUrl::fromLocalFile(target()), card);
    copy->setDelegate(&reports);
    copy->start();
    return copy;
  }
  bool runUntilReported(Reports& reports, double maxSeconds = 30) {
    return testing_support::runUntil(
        clock_, [&] {
          return !reports.seen.empty() && (reports.seen.back() == QLatin1StringView("finished") ||
                                           reports.seen.back() == QLatin1StringView("failed"));
        },
        maxSeconds);
  }

  platform::FakeClock clock_;
  QTemporaryDir dir_;
  QString folder_;
};

TEST_F(Copy, ReportsTheNewFileGrowingAndReplacesTheOldOneOnlyWhenComplete) {
  const QByteArray firmware = bytes(1'000'000, 'n');
  testing_support::writeFile(source(), firmware);
  testing_support::writeFile(target(), bytes(3'000'000, 'o'));  // last time's firmware
  Card card;
  card.secondsToCreate = 0.7;  // the ticks before the new file exists report nothing
  card.bytesPerChunk = 250'000;
  card.secondsPerChunk = 0.35;  // chunks land at 0.7, 1.05, 1.4, 1.75; done at 2.1
  Reports reports(clock_);
  ::testing::internal::CaptureStdout();
  const std::weak_ptr<CopyUtil> copy = start(card, reports);

  testing_support::runUntil(clock_, [&] { return reports.seen.size() == 2; }, 1.6);
  EXPECT_EQ(readFile(target()), bytes(3'000'000, 'o')) << "the old file stays until the new one is complete";
  ASSERT_TRUE(runUntilReported(reports));
  testing_support::runFor(clock_, 2.0);  // nothing follows the final report
  const std::string out = ::testing::internal::GetCapturedStdout();

  EXPECT_EQ(reports.seen, (std::vector<QString>{QStringLiteral("25%"), QStringLiteral("75%"), QStringLiteral("100%"),
                                                QStringLiteral("finished")}));
  EXPECT_EQ(reports.at, (std::vector<double>{1.0, 1.5, 2.0, 2.1}));
  EXPECT_TRUE(reports.onMain);
  EXPECT_EQ(out.rfind("error: ", 0), 0u) << "the tick at 0.5 s says why it could not measure";
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
  EXPECT_EQ(readFile(target()), firmware);
  EXPECT_EQ(cardEntries(), QStringList{QStringLiteral("FW0110.fir")});
  platform::GlobalQueue::shared().waitForIdle();
  EXPECT_TRUE(copy.expired()) << "the copy outlived its end";
}

TEST_F(Copy, QuickOrEmptyCopiesReportOnlyTheirEnd) {
  struct Case {
    const char* name;
    int size;
    bool delegateGone;  // the screen was replaced during the copy
  };
  const Case cases[] = {{"within the first half second", 70'000, false},
                        {"an empty file", 0, false},
                        {"the screen gone", 70'000, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(target());
    testing_support::writeFile(source(), bytes(c.size));
    Card card;
    auto reports = std::make_unique<Reports>(clock_);
    start(card, *reports);
    if (c.delegateGone) reports.reset();
    testing_support::runFor(clock_, 1.2);
    if (reports) {
      EXPECT_EQ(reports->seen, std::vector<QString>{QStringLiteral("finished")});
    }
    EXPECT_EQ(QFileInfo(target()).size(), c.size);
    EXPECT_EQ(cardEntries(), QStringList{QStringLiteral("FW0110.fir")});
  }
}

// Ticks once fired after the complete file had been renamed and printed that they could not
// read it; the copy had gone well. Fake time holds the copy at its last step while ticks come.
TEST_F(Copy, TicksAfterTheCopyIsCompleteMeasureNothing) {
  struct Case {
    const char* name;
    double before, after;  // how long the copy waits around the rename
  };
  for (const Case& c : {Case{"before the rename", 2.0, 0}, Case{"after the rename", 0, 2.0}}) {
    SCOPED_TRACE(c.name);
    QFile::remove(target());
    testing_support::writeFile(source(), bytes(1'000'000));
    Card card;
    card.secondsBeforeRename = c.before;
    card.secondsAfterRename = c.after;
    Reports reports(clock_);
    const double started = testing_support::seconds(clock_);
    ::testing::internal::CaptureStdout();
    start(card, reports);
    const bool ended = runUntilReported(reports);
    const std::string out = ::testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ended);
    EXPECT_EQ(reports.seen, std::vector<QString>{QStringLiteral("finished")});
    EXPECT_EQ(reports.at.back() - started, 2.0) << "four ticks came while the copy was ending";
    EXPECT_EQ(out, "");
    EXPECT_EQ(QFileInfo(target()).size(), 1'000'000);
  }
}

// A copy cut short (the program killed) leaves its hidden file; the next copy into the same
// folder removes such files, and nothing that only looks like one.
TEST_F(Copy, NextCopyRemovesPartialFilesLeftByEarlierCopiesAndNothingElse) {
  const QDir card(folder_);
  const auto put = [&](const char* name, const QByteArray& bytes = "x") {
    testing_support::writeFile(card.filePath(QString::fromLatin1(name)), bytes);
  };
  put(".ravlio-copy-0123abcd.part", bytes(300'000));  // half a copy
  put(".ravlio-copy-ffffffff.part", {});              // killed before it wrote a byte
  // A user's files named nearly so, a link, a folder, a second name of a photo, a leftover one
  // folder down, and the file of a copy that is still running.
  for (const char* name : {".ravlio-copy-0123ABCD.part", ".ravlio-copy-0123abc.part", ".ravlio-copy-0123abcde.part",
                           ".ravlio-copy-0123abcg.part", "ravlio-copy-0123abcd.part", ".ravlio-copy-0123abcd.part.jpg",
                           ".ravlio-copy-0123abcd.parts", ".ravlio-copy-22222222.part/inside.jpg", "DCIM/IMG_0001.JPG",
                           "DCIM/.ravlio-copy-55555555.part", ".ravlio-copy-44444444.part"}) {
    put(name, "user data");
  }
  testing_support::writeFile(dir_.filePath(QStringLiteral("outside.jpg")), "user data");
  ASSERT_TRUE(QFile::link(dir_.filePath(QStringLiteral("outside.jpg")), card.filePath(QStringLiteral(".ravlio-copy-11111111.part"))));
  ASSERT_EQ(::link(QFile::encodeName(card.filePath(QStringLiteral("DCIM/IMG_0001.JPG"))).constData(),
                   QFile::encodeName(card.filePath(QStringLiteral(".ravlio-copy-33333333.part"))).constData()),
            0);
  const platform::FileDescriptor running(
      ::open(QFile::encodeName(card.filePath(QStringLiteral(".ravlio-copy-44444444.part"))).constData(), O_RDWR | O_CLOEXEC));
  ASSERT_EQ(::flock(running.get(), LOCK_EX | LOCK_NB), 0);
  QStringList kept = cardEntries();
  kept.removeAll(QStringLiteral(".ravlio-copy-0123abcd.part"));
  kept.removeAll(QStringLiteral(".ravlio-copy-ffffffff.part"));
  kept.append(QStringLiteral("FW0110.fir"));
  kept.sort();

  testing_support::writeFile(source(), bytes(1'000));
  Card fast;
  Reports reports(clock_);
  start(fast, reports);
  ASSERT_TRUE(runUntilReported(reports));
  EXPECT_EQ(reports.seen.back(), QStringLiteral("finished"));
  EXPECT_EQ(cardEntries().join(u' ').toStdString(), kept.join(u' ').toStdString());
  for (const char* name : {".ravlio-copy-11111111.part", ".ravlio-copy-33333333.part", "DCIM/IMG_0001.JPG",
                           "DCIM/.ravlio-copy-55555555.part", ".ravlio-copy-22222222.part/inside.jpg"}) {
    EXPECT_EQ(readFile(card.filePath(QString::fromLatin1(name))), "user data") << name;
  }
  EXPECT_EQ(readFile(dir_.filePath(QStringLiteral("outside.jpg"))), "user data");
}

// Mounts a small tmpfs over `path` for the guard's lifetime, when the system lets us.
class TmpfsCard {
 public:
  TmpfsCard(const QString& path, const char* options) : path_(QFile::encodeName(path)) {
    mounted_ = ::mount("tmpfs", path_.constData(), "tmpfs", 0, options) == 0;
  }
  ~TmpfsCard() {
    if (mounted_) ::umount2(path_.constData(), MNT_DETACH);
  }
  [[nodiscard]] bool mounted() const { return mounted_; }

 private:
  QByteArray path_;
  bool mounted_ = false;
};

TEST_F(Copy, BadCardsAndSourcesFailWithNothingHalfWrittenUnderTheTargetName) {
  struct Case {
    const char* name;
    std::function<void(Card&)> setUp;  // the card's knobs
    const char* tmpfs = nullptr;       // a real small card: its mount options
    unsigned long mountFlags = 0;
    bool sourceMissing = false;
    bool sourceIsFolder = false;
    bool cardGone = false;        // the card's folder is not there
    bool folderAtTarget = false;  // a folder sits where the file goes
  };
  const Case cases[] = {
      {"full card", [](Card& c) { c.failAt = 300'000, c.failError = ENOSPC; }},
      {"card removed mid-copy", [](Card& c) { c.failAt = 300'000, c.failError = EIO; }},
      {"card removed before the flush", [](Card& c) { c.syncError = EIO; }},
      {"read-only card", [](Card& c) { c.createError = EROFS; }},
      {"source shorter than it said", [](Card& c) { c.endAt = 400'000; }},
      {"missing source", {}, nullptr, 0, true},
      {"source is a folder", {}, nullptr, 0, false, true},
      {"card folder gone", {}, nullptr, 0, false, false, true},
      {"folder in the target's place", {}, nullptr, 0, false, false, false, true},
      {"real full card", {}, "size=256k"},
      {"real read-only card", {}, "size=4m", MS_RDONLY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QDir(folder_).removeRecursively();
    QFile::remove(source());
    QDir(source()).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(folder_));
    std::optional<TmpfsCard> tmpfs;
    if (c.tmpfs) {
      tmpfs.emplace(folder_, c.tmpfs);  // read-only comes after the old file is on it
      if (!tmpfs->mounted()) {
        std::printf("[ SKIPPED  ] %s: this system does not let the test mount a card\n", c.name);
        continue;
      }
    }
    const QByteArray old = bytes(1'000, 'o');
    if (!(c.mountFlags & MS_RDONLY) && !c.cardGone && !c.folderAtTarget) testing_support::writeFile(target(), old);
    if (c.mountFlags & MS_RDONLY) {
      testing_support::writeFile(target(), old);
      ASSERT_EQ(::mount(nullptr, QFile::encodeName(folder_).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    }
    if (c.folderAtTarget) testing_support::writeFile(target() + QStringLiteral("/photo.jpg"), "keep me");
    if (c.cardGone) QDir(folder_).removeRecursively();
    if (c.sourceIsFolder) {
      ASSERT_TRUE(QDir().mkpath(source()));
    } else if (!c.sourceMissing) {
      testing_support::writeFile(source(), bytes(1'000'000));
    }
    const QStringList before = QDir(folder_).exists() ? cardEntries() : QStringList();

    Card card;
    card.bytesPerChunk = 100'000;
    if (c.setUp) c.setUp(card);
    Reports reports(clock_);
    ::testing::internal::CaptureStdout();
    start(card, reports);
    const bool ended = runUntilReported(reports);
    const std::string out = ::testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ended);

    EXPECT_EQ(reports.seen.back(), QStringLiteral("failed"));
    EXPECT_EQ(std::count(reports.seen.begin(), reports.seen.end(), QStringLiteral("failed")), 1);
    EXPECT_NE(out.find("error: "), std::string::npos) << "one line says why";
    // What was there before is there still, and nothing else: no partial file.
    if (QDir(folder_).exists()) {
      EXPECT_EQ(cardEntries(), before);
    }
    if (c.folderAtTarget) {
      EXPECT_EQ(readFile(target() + QStringLiteral("/photo.jpg")), QByteArray("keep me"));
    } else if (before.contains(QStringLiteral("FW0110.fir"))) {
      EXPECT_EQ(readFile(target()), old);
    }
  }
}

TEST_F(Copy, QuittingDuringACopyNeitherHangsNorLeavesAPartialFile) {
  struct Case {
    const char* name;
    bool whileWriting;  // else: the copy is complete and waits for the main thread's hand-over
  };
  for (const Case& c : {Case{"while writing", true}, Case{"while handing over", false}}) {
    SCOPED_TRACE(c.name);
    platform::Application::resetForTests();
    QFile::remove(target());
    const QByteArray firmware = bytes(1'000'000);
    testing_support::writeFile(source(), firmware);
    Card card;
    card.bytesPerChunk = 250'000;
    card.secondsPerChunk = c.whileWriting ? 0.35 : 0;
    Reports reports(clock_);
    start(card, reports);
    if (c.whileWriting) {
      testing_support::runUntil(clock_, [&] { return !reports.seen.empty(); }, 5);  // 50 % at 0.5 s
    } else {
      // Fake time stands still, so the only main-thread task is the copy's hand-over.
      while (platform::pendingMainQueueTasks() == 0) std::this_thread::yield();
    }
    platform::Application::terminate(0);  // the window closed: the main loop runs no more
    auto idle = std::async(std::launch::async, [] { platform::GlobalQueue::shared().waitForIdle(); });
    ASSERT_EQ(idle.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "the copy holds the exit up";
    QCoreApplication::processEvents();
    EXPECT_EQ(reports.seen.size(), c.whileWriting ? 1u : 0u) << "no report after quitting";
    if (c.whileWriting) {
      EXPECT_TRUE(cardEntries().isEmpty());
    } else {
      EXPECT_EQ(readFile(target()), firmware);
      EXPECT_EQ(cardEntries(), QStringList{QStringLiteral("FW0110.fir")});
    }
  }
}

}  // namespace
