// The firmware road from a downloaded package to the card, through the real disk-image tool and
// the real copy, after runs of the program cut short and with odd packages and folders. A run
// cut short is this test program started again as a child that does one step of the road and
// is killed in the middle of it.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "firmware/CopyUtil.h"
#include "firmware/FirmwareFileDownloadViewController.h"
#include "firmware/FirmwareFixture.h"
#include "firmware/FirmwareTestSupport.h"
#include "platform/Bundle.h"
#include "platform/FileOperations.h"
#include "platform/Queues.h"
#include "platform/Volumes.h"
#include "support/ChildProcess.h"
#include "support/DiskImages.h"
#include "support/TestFiles.h"

namespace {

using Screen = FirmwareFileDownloadViewController;

constexpr const char* kStepVariable = "RAVLIO_ROAD_STEP";
const QString kFirmwareName = QStringLiteral("QUILL_120.FIR");

using firmware_testing::text;
using testing_support::quoted;

// What lies in `folder`, hidden items too, in name order.
std::string entries(const QString& folder) {
  return testing_support::entriesWithHidden(folder).join(u' ').toStdString();
}

// A card that takes its data slowly, in real time, so that the copy can be killed mid-way.
class SlowCard final : public platform::FileOperations {
 protected:
  ssize_t transfer(int from, int to, std::size_t length) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return FileOperations::transfer(from, to, std::min<std::size_t>(length, 64 * 1024));
  }
};

// The child's side: one step of the road, from the variables its parent set, until it is
// killed. Skipped in an ordinary run.
TEST(FirmwareRoadChild, RunsOneStepUntilKilled) {
  const QByteArray step = qgetenv(kStepVariable);
  if (step.isEmpty()) GTEST_SKIP() << "runs only as the child of FirmwareRoad.CutShortOrOddRunsEndClean";
  const QString source = qEnvironmentVariable("RAVLIO_ROAD_SOURCE");
  if (step == "extract") {
    CameraFirmwareInfo info;
    info.fileName = QFileInfo(source).fileName();
    (void)Screen::extractFirmwareFromImage(info, QUrl::fromLocalFile(source));
  } else if (step == "copy") {
    static SlowCard card;
    const std::shared_ptr<CopyUtil> copy =
        CopyUtil::create(QUrl::fromLocalFile(source), QUrl::fromLocalFile(qEnvironmentVariable("RAVLIO_ROAD_TARGET")), card);
    copy->start();
  }
  platform::processEventsUntil([] { return false; }, std::chrono::seconds(60));
  FAIL() << "was not killed";
}

// Starts this program as a child that runs `step` with `variables` set, waits until `reached`
// holds, and kills it there.
void killMidway(const char* step, const std::string& variables, const std::function<bool()>& reached) {
  testing_support::ChildProcess child("exec env " + std::string(kStepVariable) + "=" + step + " " + variables + " " +
                                      quoted(QCoreApplication::applicationFilePath()) +
                                      " --gtest_filter=FirmwareRoadChild.RunsOneStepUntilKilled >/dev/null");
  ASSERT_GT(child.pid(), 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!reached()) {
    ASSERT_TRUE(child.isRunning()) << "the child ended before it was killed";
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the child never got there";
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ::kill(child.pid(), SIGKILL);
  EXPECT_EQ(child.reap(), SIGKILL);
}

// Each case: the earlier run that was cut short, if any, then a whole run from the downloaded
// package to the card. It ends with the right file on the card or the unzip failure, and in
// both cases with nothing attached and nothing of ours left in the working folder or the card.
TEST(FirmwareRoad, CutShortOrOddRunsEndClean) {
  enum class Cut { None, DuringExtraction, DuringCopy };
  struct Case {
    const char* name = "";
    Cut cut = Cut::None;
    QString folderName = QString();  // the temporary home's name; it holds the caches folder
    QString package = QStringLiteral("TavoQuill_FW120.dmg");
    QString volumeName = QString();  // empty: the tool's own
    QByteArray firmware = QByteArray(3 << 20, 'f');
    bool extracts = true;
  };
  const Case cases[] = {
      {.name = "the program killed while the tool attaches, then run again", .cut = Cut::DuringExtraction},
      {.name = "the program killed during the copy, then run again", .cut = Cut::DuringCopy},
      {.name = "an empty firmware file", .firmware = QByteArray(), .extracts = false},
      // The attach root and every mount point then lie under a folder named so.
      {.name = "a caches folder whose path holds \"failed\"", .folderName = QStringLiteral("home failed")},
      {.name = "a package and volume named with \"failed\"",
       .package = QStringLiteral("TavoQuill failed FW120.dmg"),
       .volumeName = QStringLiteral("Update failed")},
  };
  const QString tool = platform::diskImageToolPath();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TemporaryFirmwareFolders folders(c.folderName, c.folderName.isEmpty());
    ASSERT_TRUE(folders.isValid());
    const QString downloaded = folders.workingFolder() + u'/' + c.package;
    diskimage::CreateOptions options;
    options.volumeName = c.volumeName;
    testing_support::makeImage(downloaded, {{kFirmwareName, c.firmware}, {QStringLiteral("readme.txt"), "notes"}},
                               options);
    const QString card = folders.path(QStringLiteral("TAVO_SD"));
    testing_support::writeFile(card + QStringLiteral("/DCIM/100TAVO/IMG_0001.JPG"), "photo");

    if (c.cut == Cut::DuringExtraction) {
      // The tool has made the volume and the program waits for it to end.
      const QString mark = folders.path(QStringLiteral("attached"));
      const QString wrapper = folders.path(QStringLiteral("diskimage"));
      const std::string fresh = quoted(mark + QStringLiteral(".new"));
      const std::string script = "#!/bin/sh\n" + quoted(tool) + " \"$@\"\n" +
                                 "status=$?\n"
                                 "if [ \"$1\" = attach ]; then\n"
                                 "  echo $$ > " + fresh + " && mv " + fresh + " " + quoted(mark) + "\n" +
                                 "  exec sleep 60\n"
                                 "fi\n"
                                 "exit $status\n";
      testing_support::writeFile(wrapper, QByteArray::fromStdString(script));
      ASSERT_TRUE(QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
      killMidway("extract", "RAVLIO_DISKIMAGE=" + quoted(wrapper) + " RAVLIO_ROAD_SOURCE=" + quoted(downloaded),
                 [&] { return !testing_support::readFile(mark).isEmpty(); });
      // The wrapper, should it have outlived the program.
      const QByteArray waiting = testing_support::readFile(mark).trimmed();
      if (testing_support::readFile(QStringLiteral("/proc/%1/cmdline").arg(QString::fromLatin1(waiting)))
              .startsWith("sleep")) {
        ::kill(waiting.toInt(), SIGKILL);
      }
      ASSERT_FALSE(folders.attached().isEmpty()) << "the run cut short left its volume";
    }

    auto info = std::make_shared<CameraFirmwareInfo>();
    info->version = QStringLiteral("1.2.0");
    info->fileName = c.package;
    info->fileSize = QFileInfo(downloaded).size();  // no link: the download is done already
    Screen screen;
    screen.productName = QStringLiteral("Tavo Quill");
    screen.selectedCameraFirmwareInfo = info;
    screen.view();
    screen.handleDownloadCompletion({.fileURL = QUrl::fromLocalFile(downloaded)}, info);
    ASSERT_TRUE(platform::processEventsUntil([&] { return !screen.isExtracting(); }, std::chrono::seconds(60)));
    EXPECT_TRUE(folders.attached().isEmpty()) << folders.attached().join(u' ').toStdString();
    if (!c.extracts) {
      EXPECT_EQ(screen.lbContent2->text().toStdString(), text("download_firmware_fail_content2_unzip").toStdString());
      EXPECT_FALSE(screen.firmewareFileURL);
      EXPECT_EQ(entries(folders.workingFolder()), c.package.toStdString());
      continue;
    }
    ASSERT_EQ(screen.lbTopContent->text().toStdString(), text("download_firmware_finish_top").toStdString())
        << screen.lbContent2->text().toStdString();
    const QString extracted = folders.workingFolder() + u'/' + kFirmwareName;
    ASSERT_EQ(screen.firmewareFileURL, QUrl::fromLocalFile(extracted));
    EXPECT_EQ(entries(folders.workingFolder()), QStringList({kFirmwareName, c.package}).join(u' ').toStdString());

    if (c.cut == Cut::DuringCopy) {
      killMidway("copy",
                 "RAVLIO_ROAD_SOURCE=" + quoted(extracted) + " RAVLIO_ROAD_TARGET=" + quoted(card + u'/' + kFirmwareName),
                 [&] {
                   const QFileInfoList part = QDir(card).entryInfoList({QStringLiteral(".ravlio-copy-*.part")},
                                                                      QDir::Files | QDir::Hidden);
                   return !part.isEmpty() && part.first().size() > 0;
                 });
      ASSERT_NE(entries(card), "DCIM") << "the copy cut short left its file";
    }

    screen.didSelectLocation(QUrl::fromLocalFile(card));
    ASSERT_TRUE(platform::processEventsUntil([&] { return screen.lbTopContent->text() != text("copy_firmware_top"); },
                                             std::chrono::seconds(60)));
    platform::GlobalQueue::shared().waitForIdle();
    EXPECT_EQ(screen.lbTopContent->text().toStdString(), text("copy_firmware_finish_top").toStdString());
    EXPECT_EQ(entries(card), "DCIM " + kFirmwareName.toStdString());
    EXPECT_TRUE(testing_support::readFile(card + u'/' + kFirmwareName) == c.firmware);
    EXPECT_EQ(testing_support::readFile(card + QStringLiteral("/DCIM/100TAVO/IMG_0001.JPG")), "photo");
  }
}

}  // namespace
