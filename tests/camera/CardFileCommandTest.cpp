// The memory-card file commands against a simulated card and a temporary folder: the walk,
// downloads that keep what is there and leave nothing half-written, deletes, format, and the
// rule that turns the camera's item names into local file names.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CameraTestSupport.h"
#include "camera/CameraModel.h"
#include "camera/CardFiles.h"
#include "camera/DeleteAllFilesCommand.h"
#include "camera/DownloadAllFilesCommand.h"
#include "camera/DownloadCommand.h"
#include "camera/FormatVolumeCommand.h"
#include "support/TestFiles.h"

namespace camera_test {
namespace {

using vok::sim::CardEntry;

QByteArray contentOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray bytesOf(const CardEntry& entry) {
  return QByteArray(reinterpret_cast<const char*>(entry.bytes.data()), static_cast<qsizetype>(entry.bytes.size()));
}

TEST(CardFileNames, CameraNamesBecomeOnePlainComponentOrNothing) {
  struct Case {
    const char* label;
    std::string bytes;  // as the record holds them, terminator included
    std::optional<QString> name;
  };
  const Case cases[] = {
      {"plain", std::string("IMG_0001.JPG\0", 13), QStringLiteral("IMG_0001.JPG")},
      {"UTF-8", std::string("\xc3\xa9t\xc3\xa9.jpg\0", 10), QStringLiteral("\u00e9t\u00e9.jpg")},
      {"dots inside", std::string("...\0", 4), QStringLiteral("...")},
      {"empty", std::string("\0", 1), std::nullopt},
      {"dot", std::string(".\0", 2), std::nullopt},
      {"dot dot", std::string("..\0", 3), std::nullopt},
      {"slash", std::string("../../.bashrc\0", 14), std::nullopt},
      {"absolute", std::string("/etc/passwd\0", 12), std::nullopt},
      {"tab", std::string("a\tb\0", 4), std::nullopt},
      {"newline", std::string("a\nb\0", 4), std::nullopt},
      {"delete", std::string("a\x7f\0", 3), std::nullopt},
      {"C1 control", std::string("a\xc2\x85\0", 4), std::nullopt},
      {"not UTF-8", std::string("a\xff\0", 3), std::nullopt},
      {"not terminated", std::string("IMG_0001.JPG"), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(plainFileName(c.bytes.data(), c.bytes.size()), c.name);
  }
  // A record's name may fill its field and run on into the rest of the record: longer than
  // a file name can be. One byte short of the field is the longest name there is.
  tagVokDirectoryItemInfo info{};
  std::memset(info.szFileName, 'a', sizeof info.szFileName);
  EXPECT_EQ(plainFileName(info), std::nullopt);
  std::memset(&info.format, 'b', 8);
  EXPECT_EQ(plainFileName(info), std::nullopt);
  info.szFileName[255] = 0;
  EXPECT_EQ(plainFileName(info), QString(255, QLatin1Char('a')));
}

TEST(CardFileNames, CandidatesNumberTheNameBeforeItsExtension) {
  struct Case {
    const char* name;
    int n;
    const char* candidate;
  };
  const Case cases[] = {{"IMG_0001.JPG", 0, "IMG_0001.JPG"}, {"IMG_0001.JPG", 1, "IMG_0001-1.JPG"},
                        {"a.tar.gz", 2, "a.tar-2.gz"},        {"README", 3, "README-3"},
                        {".profile", 1, ".profile-1"}};
  for (const Case& c : cases) {
    EXPECT_EQ(candidateFileName(QString::fromLatin1(c.name), c.n), QString::fromLatin1(c.candidate)) << c.name;
  }
}

class CardFileCommandTest : public SimulatedCamera {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    useCard({CardEntry::dir("DCIM", {CardEntry::dir("100TAVO", {first, second}), CardEntry::dir("101TAVO", {third})})});
  }

  // Starts the camera anew with one volume holding `entries`.
  void useCard(std::vector<CardEntry> entries) {
    vok::sim::CameraSpec spec;
    spec.volumes = {{"SD", std::move(entries)}};
    startCamera(spec);
    model = std::make_shared<CameraModel>(camera_);
    model->_selectedVolumeIndex = 0;
    model->_isFileTransferring = true;
    model->_isFileDeleting = true;
    events.clear();
  }

  [[nodiscard]] QString folder() const { return dir.filePath(QStringLiteral("Pictures")); }
  [[nodiscard]] QStringList downloaded() const { return QDir(folder()).entryList(QDir::Files, QDir::Name); }

  // The item at `path` on the card, as the camera would offer it.
  VokDirectoryItemRef item(const std::vector<int>& path) {
    VokBaseRef parent = nullptr;
    EXPECT_EQ(VokGetChildAtIndex(camera_, 0, &parent), VOK_ERR_OK);
    for (int index : path) {
      VokBaseRef child = nullptr;
      EXPECT_EQ(VokGetChildAtIndex(parent, index, &child), VOK_ERR_OK);
      VokRelease(parent);
      parent = child;
    }
    return parent;
  }

  const CardEntry first = CardEntry::picture("IMG_0001.JPG", 100);
  const CardEntry second = CardEntry::picture("IMG_0002.JPG", 200);
  const CardEntry third = CardEntry::picture("IMG_0101.JPG", 300);
  QTemporaryDir dir;
  std::shared_ptr<CameraModel> model;
  EventRecorder events;
};

TEST_F(CardFileCommandTest, WalkFindsTheItemsInTheDcimFoldersAndReleasesTheRest) {
  constexpr VokError ok = VOK_ERR_OK;
  constexpr VokError fails = VOK_ERR_INTERNAL;
  struct Case {
    const char* label;
    std::vector<CardEntry> card;
    VokUInt32 volume;
    // What VokGetChildAtIndex answers in turn: the volume, its entries up to DCIM, then each
    // folder of DCIM followed by its items.
    std::vector<VokError> fetches;
    VokError status;
    std::int64_t count;
    std::size_t items;
    std::int64_t skipped;
  };
  const std::vector<CardEntry> three = {
      CardEntry::dir("DCIM", {CardEntry::dir("100TAVO", {first, second}), CardEntry::dir("101TAVO", {third})})};
  const std::vector<CardEntry> miscFirst = {CardEntry::dir("MISC"), three[0]};
  const Case cases[] = {
      {"three items in two folders", three, 0, {}, VOK_ERR_OK, 3, 3, 0},
      {"no such volume", three, 1, {}, VOK_ERR_NO_VOLUME, 0, 0, 0},
      {"no DCIM folder", {CardEntry::dir("MISC", {first})}, 0, {}, kStatusFolderNotFound, 0, 0, 0},
      {"empty card", {}, 0, {}, kStatusFolderNotFound, 0, 0, 0},
      {"a file named DCIM first", {CardEntry::file("DCIM", {1}), CardEntry::dir("DCIM", {CardEntry::dir("100TAVO", {first})})},
       0, {}, VOK_ERR_OK, 1, 1, 0},
      {"folders without items", {CardEntry::dir("DCIM", {CardEntry::dir("100TAVO"), CardEntry::dir("101TAVO")})}, 0, {},
       VOK_ERR_OK, 0, 0, 0},
      {"no folders", {CardEntry::dir("DCIM")}, 0, {}, VOK_ERR_OK, 0, 0, 0},
      // A failed fetch at each level: only the volume's own decides the answer.
      {"volume not fetched", three, 0, {fails}, fails, 0, 0, 0},
      {"volume entry not fetched", miscFirst, 0, {ok, fails}, VOK_ERR_OK, 3, 3, 0},
      {"DCIM not fetched", three, 0, {ok, fails}, kStatusFolderNotFound, 0, 0, 0},
      {"first folder not fetched", three, 0, {ok, ok, fails}, VOK_ERR_OK, 1, 1, 1},
      {"last folder not fetched", three, 0, {ok, ok, ok, ok, ok, fails}, VOK_ERR_OK, 2, 2, 1},
      {"first item not fetched", three, 0, {ok, ok, ok, fails}, VOK_ERR_OK, 3, 2, 1},
      {"last item not fetched", three, 0, {ok, ok, ok, ok, ok, ok, fails}, VOK_ERR_OK, 3, 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    useCard(c.card);
    sim().script("VokGetChildAtIndex", c.fetches);
    std::int64_t count = 0;
    std::int64_t skipped = 0;
    FileCounterCommand::ItemList items;
    EXPECT_EQ(FileCounterCommand::countFiles(camera_, c.volume, count, items, skipped), c.status);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(items.size(), c.items);
    EXPECT_EQ(skipped, c.skipped);
    EXPECT_EQ(sim().stats().live, 1 + static_cast<int>(items.size()));  // the camera and the items kept
    for (const auto& call : sim().calls()) EXPECT_NE(call.status, VOK_ERR_INVALID_PARAMETER) << call.name;
  }
}

TEST_F(CardFileCommandTest, UnreadableItemIsSkippedAndTheOthersAreStillDownloadedOrDeleted) {
  // The last item cannot be fetched: the walk goes on without it.
  const auto lastItemUnreadable = [] {
    sim().script("VokGetChildAtIndex", {VOK_ERR_OK, VOK_ERR_OK, VOK_ERR_OK, VOK_ERR_OK, VOK_ERR_OK, VOK_ERR_OK,
                                        VOK_ERR_INTERNAL});
  };
  lastItemUnreadable();
  DownloadAllFilesCommand download(model, folder());
  EXPECT_TRUE(download.execute());
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::file_COUNT_COMPLETED, 3},
                                                {EventType::file_DOWNLOAD_COMPLETED, 0},
                                                {EventType::file_DOWNLOAD_COMPLETED, 0},
                                                {EventType::close_PROGRESS, 0}}));
  EXPECT_EQ(downloaded(), (QStringList{QStringLiteral("IMG_0001.JPG"), QStringLiteral("IMG_0002.JPG")}));
  EXPECT_EQ(model->_storageFileNum.load(), 3);
  EXPECT_EQ(model->_skippedFileNum.load(), 1);
  EXPECT_EQ(sim().stats().live, 1);

  events.clear();
  lastItemUnreadable();
  DeleteAllFilesCommand remove(model);
  EXPECT_TRUE(remove.execute());
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::file_COUNT_COMPLETED, 3},
                                                {EventType::file_DELETE_COMPLETED, 0},
                                                {EventType::file_DELETE_COMPLETED, 0},
                                                {EventType::close_PROGRESS, 0}}));
  EXPECT_EQ(sim().cardEntries(cameraId_),
            (std::vector<std::string>{"DCIM/", "DCIM/100TAVO/", "DCIM/101TAVO/", "DCIM/101TAVO/IMG_0101.JPG"}));
  EXPECT_EQ(model->_skippedFileNum.load(), 1);
  EXPECT_EQ(sim().stats().live, 1);

  // A walk without skips says so.
  events.clear();
  DownloadAllFilesCommand again(model, folder());
  EXPECT_TRUE(again.execute());
  EXPECT_EQ(model->_storageFileNum.load(), 1);
  EXPECT_EQ(model->_skippedFileNum.load(), 0);
}

TEST_F(CardFileCommandTest, DownloadAllFetchesEveryItemBesideWhatIsThere) {
  testing_support::writeFile(QDir(folder()).filePath(QStringLiteral("IMG_0001.JPG")), "mine");
  DownloadAllFilesCommand download(model, folder());
  EXPECT_TRUE(download.execute());
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::file_COUNT_COMPLETED, 3},
                                                {EventType::file_DOWNLOAD_COMPLETED, 0},
                                                {EventType::file_DOWNLOAD_COMPLETED, 0},
                                                {EventType::file_DOWNLOAD_COMPLETED, 0}}));
  EXPECT_EQ(model->_storageFileNum.load(), 3);
  EXPECT_EQ(downloaded(), (QStringList{QStringLiteral("IMG_0001-1.JPG"), QStringLiteral("IMG_0001.JPG"),
                                       QStringLiteral("IMG_0002.JPG"), QStringLiteral("IMG_0101.JPG")}));
  EXPECT_EQ(contentOf(QDir(folder()).filePath(QStringLiteral("IMG_0001.JPG"))), QByteArray("mine"));
  EXPECT_EQ(contentOf(QDir(folder()).filePath(QStringLiteral("IMG_0001-1.JPG"))), bytesOf(first));
  EXPECT_EQ(contentOf(QDir(folder()).filePath(QStringLiteral("IMG_0101.JPG"))), bytesOf(third));
  EXPECT_EQ(sim().stats().live, 1);
}

TEST_F(CardFileCommandTest, DownloadAllStopsAtAFailureOrWhenToldAndLeavesNoPartialFile) {
  CardEntry broken = CardEntry::picture("IMG_0002.JPG", 200);
  broken.downloadFailure = VOK_ERR_INTERNAL;
  CardEntry unsafe = CardEntry::picture("..", 10);
  struct Case {
    const char* label;
    std::vector<CardEntry> items;
    bool transferring;
    std::vector<Seen> events;
    QStringList files;
  };
  const Case cases[] = {
      {"failing item", {first, broken, third}, true,
       {{EventType::file_COUNT_COMPLETED, 3}, {EventType::file_DOWNLOAD_COMPLETED, 0}, {EventType::close_PROGRESS, 0}},
       {QStringLiteral("IMG_0001.JPG")}},
      {"unsafe name", {unsafe, first}, true,
       {{EventType::file_COUNT_COMPLETED, 2}, {EventType::close_PROGRESS, 0}}, {}},
      {"not transferring", {first}, false, {{EventType::file_COUNT_COMPLETED, 1}, {EventType::close_PROGRESS, 0}}, {}},
      {"nothing to download", {}, true, {{EventType::file_COUNT_COMPLETED, 0}, {EventType::close_PROGRESS, 0}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    QDir(folder()).removeRecursively();
    useCard({CardEntry::dir("DCIM", {CardEntry::dir("100TAVO", c.items)})});
    model->_isFileTransferring = c.transferring;
    DownloadAllFilesCommand download(model, folder());
    EXPECT_TRUE(download.execute());
    EXPECT_EQ(events.camera(), c.events);
    EXPECT_EQ(downloaded(), c.files);
    EXPECT_EQ(download.imageItemCount(), 0u);
    EXPECT_EQ(sim().stats().live, 1);
  }
  // A card the walk cannot read ends at once.
  useCard({});
  DownloadAllFilesCommand download(model, folder());
  EXPECT_TRUE(download.execute());
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::close_PROGRESS, 0}}));
}

TEST_F(CardFileCommandTest, DeleteAllDeletesEachItemAndStopsAtAFailure) {
  DeleteAllFilesCommand remove(model);
  sim().script("VokDeleteDirectoryItem", {VOK_ERR_OK, VOK_ERR_INTERNAL});
  EXPECT_TRUE(remove.execute());
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::file_COUNT_COMPLETED, 3},
                                                {EventType::file_DELETE_COMPLETED, 0},
                                                {EventType::close_PROGRESS, 0}}));
  EXPECT_EQ(sim().stats().live, 1);

  events.clear();
  EXPECT_TRUE(remove.execute());
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::file_COUNT_COMPLETED, 2},
                                                {EventType::file_DELETE_COMPLETED, 0},
                                                {EventType::file_DELETE_COMPLETED, 0}}));
  EXPECT_EQ(sim().cardEntries(cameraId_),
            (std::vector<std::string>{"DCIM/", "DCIM/100TAVO/", "DCIM/101TAVO/"}));
  EXPECT_EQ(sim().stats().live, 1);
}

TEST_F(CardFileCommandTest, OfferedItemIsDownloadedWithProgressOrLeavesNothing) {
  CardEntry broken = CardEntry::picture("IMG_0002.JPG", 200);
  broken.downloadFailure = VOK_ERR_INTERNAL;
  struct Case {
    const char* label;
    CardEntry entry;
    std::vector<Seen> events;
    QStringList files;
  };
  const Case cases[] = {
      {"whole", first,
       {{EventType::download_START, 0},
        {EventType::download_PROGRESS, 25},
        {EventType::download_PROGRESS, 50},
        {EventType::download_PROGRESS, 75},
        {EventType::download_PROGRESS, 100},
        {EventType::download_COMPLETED, 0}},
       {QStringLiteral("IMG_0001.JPG")}},
      {"failing half way", broken,
       {{EventType::download_START, 0},
        {EventType::download_PROGRESS, 25},
        {EventType::download_PROGRESS, 50},
        {EventType::error, VOK_ERR_INTERNAL}},
       {}},
      {"unsafe name", CardEntry::picture("../IMG_0003.JPG", 10),
       {{EventType::download_START, 0}, {EventType::error, kStatusUnsafeItemName}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    QDir(folder()).removeRecursively();
    useCard({c.entry});
    DownloadCommand download(model, item({0}), &DownloadCommand::downloadProgressCallback, folder());
    EXPECT_TRUE(download.execute());
    EventRecorder::drainMainQueue();
    EXPECT_EQ(events.camera(), c.events);
    EXPECT_EQ(downloaded(), c.files);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{});  // nothing beside the folder
    EXPECT_EQ(download.directoryItem(), nullptr);
    EXPECT_EQ(sim().stats().live, 1);
  }
}

TEST_F(CardFileCommandTest, OfferedItemIsReleasedEvenWhenItIsNotDownloaded) {
  // Not allowed now: nothing happens, but the item goes with the command.
  model->canDownloadImage = false;
  auto held = std::make_unique<DownloadCommand>(model, item({0, 0, 0}), nullptr, folder());
  EXPECT_TRUE(held->execute());
  EXPECT_EQ(sim().stats().live, 2);
  held.reset();
  EXPECT_EQ(sim().stats().live, 1);
  EXPECT_TRUE(events.camera().empty());

  // An item that is gone is an error without a start.
  model->canDownloadImage = true;
  VokDirectoryItemRef gone = item({0, 0, 0});
  ASSERT_EQ(VokDeleteDirectoryItem(gone), VOK_ERR_OK);
  DownloadCommand download(model, gone, nullptr, folder());
  EXPECT_TRUE(download.execute());
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::error, VOK_ERR_ITEM_GONE}}));
  EXPECT_EQ(sim().stats().live, 1);
}

TEST_F(CardFileCommandTest, FormatEmptiesTheSelectedVolumeOrSaysWhyNot) {
  struct Case {
    const char* label;
    VokUInt32 volume;
    const char* failingCall;
    VokError status;
    std::vector<Seen> events;
    bool finished;
    std::size_t formats;  // calls of VokFormatVolume
  };
  const Case cases[] = {
      {"no such volume", 255, nullptr, VOK_ERR_OK, {{EventType::error, VOK_ERR_NO_VOLUME}}, true, 0},
      // Never a format of a volume that was not fetched.
      {"volume not fetched", 0, "VokGetChildAtIndex", VOK_ERR_INTERNAL, {{EventType::error, VOK_ERR_INTERNAL}}, true,
       0},
      {"busy", 0, "VokFormatVolume", VOK_ERR_DEVICE_BUSY, {{EventType::device_BUSY, VOK_ERR_DEVICE_BUSY}}, false, 1},
      {"formatted", 0, nullptr, VOK_ERR_OK, {}, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    events.clear();
    model->_selectedVolumeIndex = c.volume;
    if (c.failingCall) sim().script(c.failingCall, {c.status});
    sim().clearCalls();
    EXPECT_EQ(FormatVolumeCommand(model).execute(), c.finished);
    EXPECT_EQ(events.camera(), c.events);
    EXPECT_EQ(sim().calls("VokFormatVolume").size(), c.formats);
    EXPECT_EQ(sim().stats().live, 1);
  }
  EXPECT_TRUE(sim().cardEntries(cameraId_).empty());
}

}  // namespace
}  // namespace camera_test
