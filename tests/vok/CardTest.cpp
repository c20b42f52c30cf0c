// The simulated memory card: walking volumes and folders, downloads into file streams with
// progress, delete, format, and the picture that a shutter release adds.

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "SimFixture.h"

namespace {

using vok::sim::CardEntry;

std::vector<std::uint8_t> bytes(std::initializer_list<std::uint8_t> list) { return list; }

class Card : public SimTest {
 protected:
  void SetUp() override {
    vok::sim::CameraSpec spec;
    CardEntry broken = CardEntry::file("IMG_0002.JPG", bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    broken.downloadFailure = VOK_ERR_INTERNAL;
    spec.volumes = {{"SD", {CardEntry::dir("DCIM", {CardEntry::dir("100TAVO", {CardEntry::file(
                                                                                 "IMG_0001.JPG", bytes({9, 8, 7})),
                                                                             broken}),
                                                   CardEntry::dir("101TAVO")}),
                            CardEntry::file("MISC", bytes({1}))}}};
    cam = restartWith(spec);
  }
  void TearDown() override {
    EXPECT_EQ(VokRelease(cam), VOK_ERR_OK);
    EXPECT_EQ(sim().stats().live, 0);
    EXPECT_EQ(sim().stats().useAfterRelease, 0);
    SimTest::TearDown();
  }

  // The child at `index` of `parent`, which the test releases.
  static VokBaseRef child(VokBaseRef parent, int index) {
    VokBaseRef out = nullptr;
    EXPECT_EQ(VokGetChildAtIndex(parent, index, &out), VOK_ERR_OK);
    return out;
  }
  static tagVokDirectoryItemInfo info(VokBaseRef item) {
    tagVokDirectoryItemInfo record{};
    EXPECT_EQ(VokGetDirectoryItemInfo(item, &record), VOK_ERR_OK);
    return record;
  }
  static std::string name(const tagVokDirectoryItemInfo& record) {
    return reinterpret_cast<const char*>(record.szFileName);
  }

  VokCameraRef cam = nullptr;
};

TEST_F(Card, WalksVolumesFoldersAndFilesWithTheirRecords) {
  VokUInt32 count = 0;
  ASSERT_EQ(VokGetChildCount(cam, &count), VOK_ERR_OK);
  EXPECT_EQ(count, 1u);
  VokBaseRef volume = child(cam, 0);
  ASSERT_EQ(VokGetChildCount(volume, &count), VOK_ERR_OK);
  EXPECT_EQ(count, 2u);
  VokBaseRef dcim = child(volume, 0);
  VokBaseRef misc = child(volume, 1);
  EXPECT_EQ(name(info(dcim)), "DCIM");
  EXPECT_EQ(+info(dcim).isFolder, 1);
  EXPECT_EQ(+info(misc).isFolder, 0);
  VokBaseRef folder = child(dcim, 0);
  ASSERT_EQ(VokGetChildCount(folder, &count), VOK_ERR_OK);
  EXPECT_EQ(count, 2u);
  VokBaseRef file = child(folder, 0);
  EXPECT_EQ(name(info(file)), "IMG_0001.JPG");
  EXPECT_EQ(+info(file).size, 3u);
  VokBaseRef none = nullptr;
  EXPECT_EQ(VokGetChildAtIndex(folder, 2, &none), VOK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(VokGetChildAtIndex(volume, 0, nullptr), VOK_ERR_INVALID_PARAMETER);

  // The card is gone with its camera.
  sim().unplug(camera);
  tagVokDirectoryItemInfo record{};
  EXPECT_EQ(VokGetDirectoryItemInfo(file, &record), VOK_ERR_DEVICE_NOT_FOUND);
  for (VokBaseRef ref : {volume, dcim, misc, folder, file}) EXPECT_EQ(VokRelease(ref), VOK_ERR_OK);
  EXPECT_EQ(sim().cardEntries(camera), (std::vector<std::string>{"DCIM/", "DCIM/100TAVO/", "DCIM/100TAVO/IMG_0001.JPG",
                                                                 "DCIM/100TAVO/IMG_0002.JPG", "DCIM/101TAVO/", "MISC"}));
}

struct Progress {
  std::vector<VokUInt32> percents;
  VokUInt32 cancelAt = 0;
};

VokError recordProgress(VokUInt32 percent, void* context, VokBool* cancel) {
  auto* progress = static_cast<Progress*>(context);
  progress->percents.push_back(percent);
  if (percent == progress->cancelAt) *cancel = 1;
  return VOK_ERR_OK;
}

TEST_F(Card, DownloadWritesTheFileAndReportsProgress) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  struct Case {
    const char* label;
    int file;
    VokUInt32 cancelAt;
    VokError status;
    std::vector<VokUInt32> percents;
    QByteArray written;
  };
  const Case cases[] = {
      {"whole", 0, 0, VOK_ERR_OK, {25, 50, 75, 100}, QByteArray("\x09\x08\x07")},
      {"cancelled", 0, 50, VOK_ERR_OPERATION_CANCELLED, {25, 50}, QByteArray("\x09\x08\x07")},
      {"failing half way", 1, 0, VOK_ERR_INTERNAL, {25, 50}, QByteArray("\x01\x02\x03\x04")},
  };
  VokBaseRef volume = child(cam, 0);
  VokBaseRef dcim = child(volume, 0);
  VokBaseRef folder = child(dcim, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    VokBaseRef file = child(folder, c.file);
    const QString path = dir.filePath(QString::fromLatin1(c.label));
    VokStreamRef stream = nullptr;
    ASSERT_EQ(VokCreateFileStream(path.toUtf8().constData(), 1, 2, &stream), VOK_ERR_OK);
    Progress progress;
    progress.cancelAt = c.cancelAt;
    ASSERT_EQ(VokSetProgressCallback(stream, recordProgress, 2, &progress), VOK_ERR_OK);
    EXPECT_EQ(VokDownload(file, info(file).size, stream), c.status);
    EXPECT_EQ(progress.percents, c.percents);
    EXPECT_EQ(VokRelease(stream), VOK_ERR_OK);
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), c.written);
    EXPECT_EQ(VokRelease(file), VOK_ERR_OK);
  }
  // A stream that makes only new files refuses an existing one; a folder has nothing to download.
  VokStreamRef stream = nullptr;
  EXPECT_EQ(VokCreateFileStream(dir.filePath(QStringLiteral("whole")).toUtf8().constData(), 0, 2, &stream),
            VOK_ERR_FILE_IO);
  ASSERT_EQ(VokCreateFileStream(dir.filePath(QStringLiteral("folder")).toUtf8().constData(), 0, 2, &stream),
            VOK_ERR_OK);
  EXPECT_EQ(VokDownload(folder, 0, stream), VOK_ERR_INVALID_PARAMETER);
  for (VokBaseRef ref : {stream, folder, dcim, volume}) EXPECT_EQ(VokRelease(ref), VOK_ERR_OK);
}

TEST_F(Card, DeleteAndFormatTakeEntriesAway) {
  VokBaseRef volume = child(cam, 0);
  VokBaseRef dcim = child(volume, 0);
  VokBaseRef folder = child(dcim, 0);
  VokBaseRef file = child(folder, 0);
  ASSERT_EQ(VokDeleteDirectoryItem(file), VOK_ERR_OK);
  tagVokDirectoryItemInfo record{};
  EXPECT_EQ(VokGetDirectoryItemInfo(file, &record), VOK_ERR_ITEM_GONE);
  EXPECT_EQ(VokDeleteDirectoryItem(file), VOK_ERR_ITEM_GONE);
  EXPECT_EQ(sim().cardEntries(camera).size(), 5u);

  ASSERT_EQ(VokFormatVolume(volume), VOK_ERR_OK);
  EXPECT_TRUE(sim().cardEntries(camera).empty());
  VokUInt32 count = 7;
  EXPECT_EQ(VokGetChildCount(folder, &count), VOK_ERR_ITEM_GONE);
  EXPECT_EQ(VokGetChildCount(volume, &count), VOK_ERR_OK);
  EXPECT_EQ(count, 0u);
  for (VokBaseRef ref : {file, folder, dcim, volume}) EXPECT_EQ(VokRelease(ref), VOK_ERR_OK);
}

struct Offered {
  std::mutex mutex;
  std::vector<std::string> names;
};

VokError readAndRelease(VokObjectEvent, VokBaseRef item, void* context) {
  auto* offered = static_cast<Offered*>(context);
  tagVokDirectoryItemInfo record{};
  const VokError status = VokGetDirectoryItemInfo(item, &record);
  VokRelease(item);
  std::lock_guard lock(offered->mutex);
  offered->names.push_back(status == VOK_ERR_OK ? reinterpret_cast<const char*>(record.szFileName) : "?");
  return VOK_ERR_OK;
}

TEST_F(Card, ShutterReleaseAfterAFullPressAddsAPictureAndOffersIt) {
  Offered offered;
  ASSERT_EQ(VokSetObjectEventHandler(cam, kVokObjectEvent_All, readAndRelease, &offered), VOK_ERR_OK);
  for (VokInt32 button : {kVokShutterButton_Halfway, kVokShutterButton_Off, kVokShutterButton_Completely,
                          kVokShutterButton_Off, kVokShutterButton_Off, kVokShutterButton_Completely,
                          kVokShutterButton_Off}) {
    ASSERT_EQ(VokSendCommand(cam, kVokCameraCommand_PressShutterButton, button), VOK_ERR_OK);
  }
  sim().waitForEvents();
  std::lock_guard lock(offered.mutex);
  // Two full presses, two pictures, numbered past those already on the card.
  EXPECT_EQ(offered.names, (std::vector<std::string>{"IMG_0003.JPG", "IMG_0004.JPG"}));
  const auto entries = sim().cardEntries(camera);
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "DCIM/100TAVO/IMG_0004.JPG"), 1);
}

TEST_F(Card, OfferedItemNamesItsEntryOrNone) {
  Offered offered;
  ASSERT_EQ(VokSetObjectEventHandler(cam, kVokObjectEvent_All, readAndRelease, &offered), VOK_ERR_OK);
  sim().fireObjectEvent(camera, kVokObjectEvent_DirItemRequestTransfer, "DCIM/100TAVO/IMG_0002.JPG");
  sim().fireObjectEvent(camera, kVokObjectEvent_DirItemRequestTransfer);
  sim().waitForEvents();
  std::lock_guard lock(offered.mutex);
  EXPECT_EQ(offered.names, (std::vector<std::string>{"IMG_0002.JPG", "?"}));
}

}  // namespace
