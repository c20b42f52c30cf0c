#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>

#include <fcntl.h>
#include <sys/file.h>

#include <condition_variable>
#include <functional>
#include <mutex>

#include "app/FennicProgressBar.h"
#include "app/GoFrimwareUpdateViewController.h"
#include "app/Scenes.h"
#include "app/Typography.h"
#include "firmware/FirmwareFileDownloadViewController.h"
#include "firmware/FirmwareFixture.h"
#include "firmware/FirmwareTestSupport.h"
#include "firmware/FirmwareLook.h"
#include "firmware/FirmwareScenes.h"
#include "firmware/NamedImage.h"
#include "platform/Bundle.h"
#include "platform/CommandRunner.h"
#include "platform/FileDescriptor.h"
#include "platform/Queues.h"
#include "platform/Storyboard.h"
#include "platform/WindowController.h"
#include "support/DiskImages.h"
#include "support/LayoutChecks.h"
#include "support/LongNames.h"
#include "support/TestFiles.h"
#include "tools/firmware-service/HttpServer.h"

namespace {

using Screen = FirmwareFileDownloadViewController;
using firmware_service::HttpRequest;
using firmware_service::HttpResponse;
using testing_support::writeFile;

// Qt Network hands its work between threads through locks that ThreadSanitizer does not see,
// and with those suppressed every body it copies is checked so slowly that a download of a
// package takes minutes; the screen's own threads are covered by the tests that complete a
// download by hand.
#if defined(__SANITIZE_THREAD__)
#define SKIP_WITH_QT_NETWORK() GTEST_SKIP() << "Qt Network's thread is opaque to ThreadSanitizer"
#else
#define SKIP_WITH_QT_NETWORK() (void)0
#endif

using firmware_testing::text;
// The colour the label is drawn in, once the style sheets have had their say.
QColor colorOf(QLabel* label) {
  label->ensurePolished();
  return label->palette().color(QPalette::Active, QPalette::WindowText);
}

// The download screen against a local service whose answer each test chooses.
class DownloadScreen : public FirmwareFolders {
 protected:
  void SetUp() override {
    FirmwareFolders::SetUp();
    server_ = std::make_unique<firmware_service::HttpServer>([this](const HttpRequest& r) { return answer(r); });
    ASSERT_TRUE(server_->listen());
    testing_support::makeImage(path(QStringLiteral("package.dmg")), {{QStringLiteral("QUILL_120.FIR"), firmware_}});
    answer = [this](const HttpRequest&) {
      HttpResponse r;
      r.filePath = path(QStringLiteral("package.dmg"));
      return r;
    };
  }
  void TearDown() override {
    screen_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    server_.reset();
    FirmwareFolders::TearDown();
  }

  CameraFirmwareInfoPtr entry() const {
    auto info = std::make_shared<CameraFirmwareInfo>();
    info->version = QStringLiteral("1.2.0");
    info->fileName = QStringLiteral("TavoQuill_FW120.dmg");
    info->fileSize = QFileInfo(path(QStringLiteral("package.dmg"))).size();
    info->downloadLink = server_->baseUrl().toString() + QStringLiteral("/firmware/TavoQuill_FW120.dmg");
    return info;
  }

  Screen& open(CameraFirmwareInfoPtr info, std::optional<QString> product = QStringLiteral("Tavo Quill")) {
    screen_ = std::make_unique<Screen>();
    screen_->setStallTimeout(std::chrono::milliseconds(400));
    screen_->productName = std::move(product);
    screen_->selectedCameraFirmwareInfo = std::move(info);
    screen_->view();
    return *screen_;
  }

  // Runs the loop until the download and extraction have ended.
  bool finish() {
    return platform::processEventsUntil(
        [&] { return screen_->lbTopContent->text() != text("downloading_firmware_top") && !screen_->isExtracting(); },
        std::chrono::seconds(15));
  }

  QString destination() const { return workingFolder() + QStringLiteral("/TavoQuill_FW120.dmg"); }

  std::function<HttpResponse(const HttpRequest&)> answer;
  std::unique_ptr<firmware_service::HttpServer> server_;
  std::unique_ptr<Screen> screen_;
  const QByteArray firmware_ = QByteArray(200000, 'f');
};

TEST_F(DownloadScreen, DownloadsChecksAndExtracts) {
  SKIP_WITH_QT_NETWORK();
  Screen& s = open(entry());
  EXPECT_EQ(s.lbFirmwareInfo->text(), QStringLiteral("Tavo Quill ") + text("firmware_version") + QStringLiteral(" 1.2.0"));
  EXPECT_EQ(s.fennicProgressBar->barThickness(), 16.0);
  ASSERT_TRUE(finish());
  EXPECT_EQ(s.lbTopContent->text(), text("download_firmware_finish_top"));
  EXPECT_EQ(s.lbPercent->text(), QStringLiteral("100%"));
  ASSERT_TRUE(s.firmewareFileURL);
  EXPECT_EQ(s.firmewareFileURL->toLocalFile(), workingFolder() + QStringLiteral("/QUILL_120.FIR"));
  EXPECT_EQ(testing_support::readFile(s.firmewareFileURL->toLocalFile()), firmware_);
  EXPECT_EQ(testing_support::readFile(destination()),
            testing_support::readFile(path(QStringLiteral("package.dmg"))));  // the image stays
  EXPECT_TRUE(attached().isEmpty());
  EXPECT_EQ(QDir(workingFolder()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // no temporary files left
  const QList<HttpRequest> requests = server_->requests();
  ASSERT_EQ(requests.size(), 1);
  EXPECT_EQ(requests[0].requestLine, "GET /firmware/TavoQuill_FW120.dmg HTTP/1.1");
}

// A download cut short (the program killed) leaves its hidden file in the working folder; the
// next download clears it, but not the file of a download that is still running.
TEST_F(DownloadScreen, DownloadClearsTheFilesOfDownloadsCutShort) {
  SKIP_WITH_QT_NETWORK();
  writeFile(workingFolder() + QStringLiteral("/.download-AbCdEf"), QByteArray(100000, 'p'));
  const QString running = workingFolder() + QStringLiteral("/.download-RunNin");
  writeFile(running, "still coming");
  const platform::FileDescriptor held(::open(QFile::encodeName(running).constData(), O_RDWR | O_CLOEXEC));
  ASSERT_EQ(::flock(held.get(), LOCK_EX | LOCK_NB), 0);
  Screen& s = open(entry());
  ASSERT_TRUE(finish());
  EXPECT_EQ(s.lbTopContent->text(), text("download_firmware_finish_top"));
  EXPECT_EQ(QDir(workingFolder()).entryList(QDir::Files | QDir::Hidden, QDir::Name).join(u' ').toStdString(),
            ".download-RunNin QUILL_120.FIR TavoQuill_FW120.dmg");
}

// Each bad input ends in the download-failed state with its text; the file that was under the
// final name before stays as it was, and nothing stays attached.
TEST_F(DownloadScreen, BadInputTable) {
  SKIP_WITH_QT_NETWORK();
  struct Case {
    const char* name;
    std::function<void(CameraFirmwareInfo&)> change;
    std::function<HttpResponse(const HttpRequest&)> serve;  // nullptr: the package
    const char* reason;
    int requests;
    bool replaced;  // the old file under the final name gave way
  };
  const auto package = [this] { return path(QStringLiteral("package.dmg")); };
  // Every answer redirects to the next numbered path, without end.
  const auto redirectOnwards = [](const HttpRequest& r) {
    const int n = r.path().startsWith("/r") ? r.path().mid(2).toInt() : 0;
    return HttpResponse::redirect(302, "/r" + QByteArray::number(n + 1));
  };
  const Case cases[] = {
      // An answer that is not the file fails as the size check does; it is never stored.
      {"error page", nullptr, [](const HttpRequest&) { return HttpResponse::text(404, "not found\n"); },
       "download_firmware_fail_content2_file_corruption", 1, false},
      {"server error", nullptr, [](const HttpRequest&) { return HttpResponse::text(500, "busy\n"); },
       "download_firmware_fail_content2_file_corruption", 1, false},
      {"redirect without a target", nullptr, [](const HttpRequest&) { return HttpResponse::text(302, "moved\n"); },
       "download_firmware_fail_content2_file_corruption", 1, false},
      {"announced size larger", [](CameraFirmwareInfo& i) { i.fileSize = *i.fileSize + 1; }, nullptr,
       "download_firmware_fail_content2_file_corruption", 1, true},
      {"body longer than announced", [](CameraFirmwareInfo& i) { i.fileSize = *i.fileSize - 1000; }, nullptr,
       "download_firmware_fail_content2_file_corruption", 1, false},
      {"no announced size", [](CameraFirmwareInfo& i) { i.fileSize.reset(); }, nullptr,
       "download_firmware_fail_content2_file_corruption", 1, false},
      {"endless body",
       nullptr,
       [&](const HttpRequest&) {
         HttpResponse r;
         r.filePath = package();
         r.endless = true;
         return r;
       },
       "download_firmware_fail_content2_file_corruption", 1, false},
      {"redirect loop",
       nullptr,
       [](const HttpRequest& r) {
         return HttpResponse::redirect(302, r.path() == "/elsewhere" ? "/firmware/TavoQuill_FW120.dmg" : "/elsewhere");
       },
       "download_firmware_fail_content2_filedownload_fail", 2, false},
      {"too many redirects", nullptr, redirectOnwards, "download_firmware_fail_content2_filedownload_fail",
       FirmwareDownload::kMaxRedirects + 1, false},
      {"redirect to a refused link", nullptr,
       [](const HttpRequest&) { return HttpResponse::redirect(302, "http://firmware.example.com/TavoQuill_FW120.dmg"); },
       "download_firmware_fail_content2_filedownload_fail", 1, false},
      {"transfer cut short",
       nullptr,
       [&](const HttpRequest&) {
         HttpResponse r;
         r.filePath = package();
         r.cutAfter = QFileInfo(package()).size() / 2;
         return r;
       },
       "download_firmware_fail_content2_filedownload_fail", 1, false},
      {"stalled transfer",
       nullptr,
       [](const HttpRequest&) {
         HttpResponse r;
         r.stall = true;
         return r;
       },
       "download_firmware_fail_content2_filedownload_fail", 1, false},
      {"unreachable service", [](CameraFirmwareInfo& i) { i.downloadLink = QStringLiteral("http://127.0.0.1:1/a.dmg"); },
       nullptr, "download_firmware_fail_content2_filedownload_fail", 0, false},
      {"link that is no URL", [](CameraFirmwareInfo& i) { i.downloadLink = QStringLiteral("::not a url"); }, nullptr,
       "download_firmware_fail_content2_filedownload_fail", 0, false},
      {"plain http to another host",
       [](CameraFirmwareInfo& i) { i.downloadLink = QStringLiteral("http://firmware.example.com/TavoQuill_FW120.dmg"); },
       nullptr, "download_firmware_fail_content2_filedownload_fail", 0, false},
      {"file name with a path", [](CameraFirmwareInfo& i) { i.fileName = QStringLiteral("../TavoQuill_FW120.dmg"); },
       nullptr, "download_firmware_fail_content2_filedownload_fail", 0, false},
      {"file name longer than a name can be",
       [](CameraFirmwareInfo& i) { i.fileName = QString(84, QChar(0xD38C)) + QStringLiteral(".dmg"); },  // 256 bytes
       nullptr, "download_firmware_fail_content2_filedownload_fail", 0, false},
      {"package without a firmware file",
       [this](CameraFirmwareInfo& i) { i.fileSize = QFileInfo(path(QStringLiteral("empty.dmg"))).size(); },
       [this](const HttpRequest&) {
         HttpResponse r;
         r.filePath = path(QStringLiteral("empty.dmg"));
         return r;
       },
       "download_firmware_fail_content2_unzip", 1, true},
  };
  testing_support::makeImage(path(QStringLiteral("empty.dmg")), {{QStringLiteral("readme.txt"), "no firmware"}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(destination(), "the earlier download");
    CameraFirmwareInfoPtr info = entry();
    if (c.change) c.change(*info);
    const auto before = server_->requests().size();
    answer = c.serve ? c.serve : [&](const HttpRequest&) {
      HttpResponse r;
      r.filePath = package();
      return r;
    };
    Screen& s = open(info);
    ASSERT_TRUE(finish());
    EXPECT_EQ(s.lbTopContent->text(), text("download_firmware_fail_top"));
    EXPECT_EQ(s.lbContent2->text(), text(c.reason));
    EXPECT_FALSE(s.btnDownloadRetry->isHidden());
    EXPECT_FALSE(s.firmewareFileURL);
    EXPECT_EQ(server_->requests().size() - before, c.requests);
    EXPECT_EQ(testing_support::readFile(destination()) == "the earlier download", !c.replaced);
    EXPECT_EQ(QDir(workingFolder()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("TavoQuill_FW120.dmg")});
    EXPECT_TRUE(attached().isEmpty());
    EXPECT_TRUE(QDir(path(QStringLiteral("cache"))).entryList(QDir::Files | QDir::Hidden).isEmpty());
    screen_.reset();
  }
}

// Redirects once ended in an empty answer that was stored and reported as a damaged file.
TEST_F(DownloadScreen, RedirectsAreFollowedToTheFile) {
  SKIP_WITH_QT_NETWORK();
  struct Case {
    const char* name;
    QList<QPair<int, QByteArray>> hops;  // status and Location, in the order they answer
    QByteArray last;                     // the path the file came from
  };
  const QByteArray base = server_->baseUrl().toEncoded();
  const Case cases[] = {
      {"two redirects", {{302, "/mirror/a"}, {301, base + "/mirror/b"}}, "/mirror/b"},
      {"as many as allowed", {{303, "/1"}, {307, "/2"}, {308, "/3"}, {302, "/4"}, {301, "/5"}}, "/5"},
  };
  static_assert(FirmwareDownload::kMaxRedirects == 5);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qsizetype answered = 0;
    answer = [&](const HttpRequest&) {
      if (answered < c.hops.size()) {
        const auto& [status, location] = c.hops[answered++];
        return HttpResponse::redirect(status, location);
      }
      HttpResponse r;
      r.filePath = path(QStringLiteral("package.dmg"));
      return r;
    };
    const auto before = server_->requests().size();
    Screen& s = open(entry());
    ASSERT_TRUE(finish());
    EXPECT_EQ(s.lbTopContent->text(), text("download_firmware_finish_top"));
    EXPECT_EQ(testing_support::readFile(destination()), testing_support::readFile(path(QStringLiteral("package.dmg"))));
    EXPECT_EQ(server_->requests().size() - before, c.hops.size() + 1);
    EXPECT_EQ(server_->requests().last().path(), c.last);
    screen_.reset();
  }
}

// The progress is that of the file's body: an error page, however long, shows none of it.
TEST_F(DownloadScreen, ErrorPageShowsNoProgress) {
  SKIP_WITH_QT_NETWORK();
  const QByteArray page(100000, 'e');
  const std::pair<const char*, std::function<HttpResponse(const HttpRequest&)>> serves[] = {
      {"404", [&](const HttpRequest&) { return HttpResponse::text(404, page); }},
      {"500", [&](const HttpRequest&) { return HttpResponse::text(500, page); }},
      {"redirect to a 404",
       [&](const HttpRequest& r) {
         return r.path() == "/gone" ? HttpResponse::text(404, page) : HttpResponse::redirect(302, "/gone");
       }},
  };
  for (const auto& [name, serve] : serves) {
    SCOPED_TRACE(name);
    answer = serve;
    Screen& s = open(entry());
    ASSERT_TRUE(finish());
    EXPECT_EQ(s.lbContent2->text(), text("download_firmware_fail_content2_file_corruption"));
    EXPECT_EQ(s.lbPercent->text(), QStringLiteral("0%"));
    EXPECT_EQ(s.fennicProgressBar->progressValue(), 0.0);
    screen_.reset();
  }
}

// A package named as long as a file name can be is downloaded under that name and opened: the
// download's temporary file and the tool's folder for a half-attached image must not add to it.
TEST_F(DownloadScreen, LongestFileNameIsDownloadedAndExtracted) {
  SKIP_WITH_QT_NETWORK();
  CameraFirmwareInfoPtr info = entry();
  info->fileName = QString(83, QChar(0xD38C)) + QChar(0xE9) + QStringLiteral(".dmg");
  ASSERT_EQ(info->fileName->toUtf8().size(), 255);
  Screen& s = open(info);
  ASSERT_TRUE(finish());
  EXPECT_EQ(s.lbTopContent->text(), text("download_firmware_finish_top"));
  EXPECT_EQ(testing_support::readFile(workingFolder() + u'/' + *info->fileName),
            testing_support::readFile(path(QStringLiteral("package.dmg"))));
  ASSERT_TRUE(s.firmewareFileURL);
  EXPECT_EQ(testing_support::readFile(s.firmewareFileURL->toLocalFile()), firmware_);
  EXPECT_TRUE(attached().isEmpty());
  EXPECT_EQ(server_->requests().size(), 1);
}

TEST_F(DownloadScreen, MissingNameOrLinkStartsNothing) {
  for (int missing = 0; missing < 2; ++missing) {
    CameraFirmwareInfoPtr info = entry();
    (missing == 0 ? info->fileName : info->downloadLink).reset();
    Screen& s = open(info);
    platform::processEventsUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(s.lbTopContent->text(), text("downloading_firmware_top"));
    EXPECT_EQ(s.lbPercent->text(), QStringLiteral("0%"));
  }
  EXPECT_TRUE(server_->requests().isEmpty());
}

TEST_F(DownloadScreen, FirmwareLineTable) {
  struct Case {
    std::optional<QString> product;
    std::optional<QString> version;
    QString line;  // empty: the scene's own, nothing loaded
  };
  const QString fw = text("firmware_version");
  const Case cases[] = {
      {QStringLiteral("Tavo Quill"), QStringLiteral("1.2.0"), QStringLiteral("Tavo Quill ") + fw + QStringLiteral(" 1.2.0")},
      {QString(), QStringLiteral("1.2.0"), u' ' + fw + QStringLiteral(" 1.2.0")},
      {QStringLiteral("Tavo Quill"), std::nullopt, QStringLiteral("Tavo Quill ") + fw + u' '},
      {std::nullopt, QStringLiteral("1.2.0"), QString()},
  };
  for (const Case& c : cases) {
    CameraFirmwareInfoPtr info = entry();
    info->version = c.version;
    info->downloadLink.reset();  // nothing to fetch
    EXPECT_EQ(open(info, c.product).lbFirmwareInfo->text(), c.line);
  }
  Screen& bare = open(nullptr);
  EXPECT_TRUE(bare.lbFirmwareInfo->text().isEmpty());
  EXPECT_EQ(bare.fennicProgressBar->barThickness(), 10.0);
  EXPECT_TRUE(server_->requests().isEmpty());
}

TEST_F(DownloadScreen, LongProductNameIsElidedInTheMiddle) {
  CameraFirmwareInfoPtr info = entry();
  info->downloadLink.reset();  // nothing to fetch: the line is all this needs
  const QString name = testing_support::longProductName();
  Screen& s = open(info, name);
  s.view()->resize(720, 520);
  s.view()->show();
  QApplication::processEvents();
  EXPECT_LE(s.view()->minimumSizeHint().width(), 720);
  testing_support::expectElidedInTheMiddle(s.lbFirmwareInfo, name);
}

TEST_F(DownloadScreen, StatesTable) {
  Screen& s = open(nullptr);
  struct Expect {
    const char* top;
    const char* image;
    const char* content1;
    QString content2;
    QColor content2Color;
    QString percent;
    QColor percentColor;
    QColor bar, track;
    double value;
    bool selectShown = false, selectEnabled = false, guideShown = false, guideEnabled = false, retryShown = false;
  };
  const QColor yellow = firmware_look::kAccentYellow, grey96 = firmware_look::kGrey96, red = firmware_look::kRed,
               grey136 = firmware_look::kGrey136;
  const QColor white = Qt::white;
  const Expect downloading{.top = "downloading_firmware_top",
                           .image = "img_filedownload_ing",
                           .content1 = "downloading_firmware_content1",
                           .content2 = text("downloading_firmware_content2"),
                           .content2Color = yellow,
                           .percent = QStringLiteral("0%"),
                           .percentColor = yellow,
                           .bar = yellow,
                           .track = white,
                           .value = 0,
                           .selectShown = true};
  Expect downloading37 = downloading;
  downloading37.percent = QStringLiteral("37%");
  downloading37.value = 37;
  const Expect copying{.top = "copy_firmware_top",
                       .image = "img_firmware_file_copy",
                       .content1 = "copy_firmware_content1",
                       .content2 = text("copy_firmware_content2"),
                       .content2Color = yellow,
                       .percent = QStringLiteral("0%"),
                       .percentColor = yellow,
                       .bar = yellow,
                       .track = white,
                       .value = 0,
                       .guideShown = true};
  Expect copying150 = copying;
  copying150.percent = QStringLiteral("150%");
  copying150.value = 100;
  struct Step {
    std::function<void()> act;
    Expect e;
  };
  const Step steps[] = {
      {[&] { s.showDownloadingState(); }, downloading},
      {[&] { s.showPercent(37); }, downloading37},
      {[&] { s.showDownloadFailedState(QStringLiteral("<b>why</b>")); },
       {.top = "download_firmware_fail_top",
        .image = "img_filedownload_fail",
        .content1 = "download_firmware_fail_content1",
        .content2 = QStringLiteral("<b>why</b>"),
        .content2Color = red,
        .percent = QStringLiteral("37%"),
        .percentColor = grey96,
        .bar = grey136,
        .track = grey96,
        .value = 37,
        .retryShown = true}},
      {[&] { s.showDownloadFinishedState(); },
       {.top = "download_firmware_finish_top",
        .image = "img_filedownload_finish",
        .content1 = "download_firmware_finish_content1",
        .content2 = QString(),
        .content2Color = yellow,
        .percent = QStringLiteral("100%"),
        .percentColor = yellow,
        .bar = yellow,
        .track = white,
        .value = 100,
        .selectShown = true,
        .selectEnabled = true}},
      {[&] { s.showCopyingState(); }, copying},
      {[&] { s.showPercent(150); }, copying150},
      {[&] { s.showPercent(42); s.showCopyFailedState(); },
       {.top = "copy_firmware_fail_top",
        .image = "img_firmware_file_copy_fail",
        .content1 = "copy_firmware_fail_content1",
        .content2 = text("copy_firmware_fail_content2"),
        .content2Color = red,
        .percent = QStringLiteral("42%"),
        .percentColor = grey96,
        .bar = grey136,
        .track = grey96,
        .value = 42,
        .retryShown = true}},
      {[&] { s.showCopyFinishedState(); },
       {.top = "copy_firmware_finish_top",
        .image = "img_filedownload_finish",
        .content1 = "copy_firmware_finish_content1",
        .content2 = QString(),
        .content2Color = yellow,
        .percent = QStringLiteral("100%"),
        .percentColor = yellow,
        .bar = yellow,
        .track = white,
        .value = 100,
        .guideShown = true,
        .guideEnabled = true}},
  };
  int i = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(i++);
    step.act();
    const Expect& e = step.e;
    EXPECT_EQ(s.lbTopContent->text(), text(e.top));
    EXPECT_EQ(namedImage(s.ivStatus), QString::fromLatin1(e.image));
    EXPECT_FALSE(s.ivStatus->pixmap().isNull());
    EXPECT_EQ(s.lbContent1->text(), text(e.content1));
    EXPECT_EQ(s.lbContent2->text(), e.content2);
    EXPECT_EQ(s.lbContent2->textFormat(), Qt::PlainText);
    EXPECT_EQ(colorOf(s.lbContent2), e.content2Color);
    EXPECT_EQ(s.lbPercent->text(), e.percent);
    EXPECT_EQ(colorOf(s.lbPercent), e.percentColor);
    EXPECT_EQ(s.fennicProgressBar->barColor(), e.bar);
    EXPECT_EQ(s.fennicProgressBar->trackColor(), e.track);
    EXPECT_EQ(s.fennicProgressBar->progressValue(), e.value);
    EXPECT_EQ(!s.btnShowSelectLocation->isHidden(), e.selectShown);
    if (e.selectShown) {
      EXPECT_EQ(s.btnShowSelectLocation->isEnabled(), e.selectEnabled);
    }
    EXPECT_EQ(!s.btnShowUpdateGuide->isHidden(), e.guideShown);
    if (e.guideShown) {
      EXPECT_EQ(s.btnShowUpdateGuide->isEnabled(), e.guideEnabled);
      EXPECT_EQ(s.btnShowUpdateGuide->palette().color(QPalette::Active, QPalette::ButtonText), e.guideEnabled ? yellow : grey96);
    }
    EXPECT_EQ(!s.btnDownloadRetry->isHidden(), e.retryShown);
  }
}

TEST_F(DownloadScreen, RetryDownloadsAgain) {
  SKIP_WITH_QT_NETWORK();
  bool broken = true;
  answer = [&](const HttpRequest&) {
    if (broken) return HttpResponse::text(500, "busy\n");
    HttpResponse r;
    r.filePath = path(QStringLiteral("package.dmg"));
    return r;
  };
  Screen& s = open(entry());
  ASSERT_TRUE(finish());
  EXPECT_EQ(s.lbContent2->text(), text("download_firmware_fail_content2_file_corruption"));
  broken = false;
  s.btnDownloadRetry->click();
  EXPECT_EQ(s.lbTopContent->text(), text("downloading_firmware_top"));
  EXPECT_EQ(s.lbPercent->text(), QStringLiteral("0%"));
  ASSERT_TRUE(finish());
  EXPECT_EQ(s.lbTopContent->text(), text("download_firmware_finish_top"));
  EXPECT_EQ(server_->requests().size(), 2);
}

// Holds the disk-image tool's attach until the test lets it go.
class HeldTool final : public platform::CommandRunner {
 public:
  platform::CommandResult run(const QString&, const QStringList& args, platform::Duration) override {
    std::unique_lock lock(mutex_);
    calls.append(args.value(0));
    started_ = true;
    cv_.notify_all();
    cv_.wait(lock, [&] { return released_; });
    platform::CommandResult r;
    r.outcome = platform::CommandResult::Outcome::Exited;
    r.exitStatus = 0;
    r.standardOutput = "/nowhere\n";
    return r;
  }
  void waitStarted() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return started_; });
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    cv_.notify_all();
  }
  QStringList calls;  // guarded by mutex_

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool started_ = false;
  bool released_ = false;
};

TEST_F(DownloadScreen, ScreenGoneDuringExtractionIsNotTouched) {
  HeldTool tool;
  platform::setCommandRunner(&tool);
  CameraFirmwareInfoPtr info = entry();
  info->downloadLink.reset();
  Screen& s = open(info);
  s.handleDownloadCompletion({.fileURL = QUrl::fromLocalFile(path(QStringLiteral("package.dmg")))}, info);
  EXPECT_TRUE(s.isExtracting());
  tool.waitStarted();
  // The GUI thread goes on while the tool runs.
  EXPECT_EQ(s.lbTopContent->text(), text("downloading_firmware_top"));
  screen_.reset();
  tool.release();
  platform::GlobalQueue::shared().waitForIdle();
  platform::processEventsUntil([] { return platform::pendingMainQueueTasks() == 0; });
  platform::setCommandRunner(nullptr);
  EXPECT_EQ(tool.calls, (QStringList{QStringLiteral("attach"), QStringLiteral("detach")}));
}

// The checks after a transfer, in their order; the first that applies decides.
TEST_F(DownloadScreen, CompletionChecksTable) {
  const QString package = path(QStringLiteral("package.dmg"));
  const QString empty = path(QStringLiteral("empty.dmg"));
  testing_support::makeImage(empty, {{QStringLiteral("readme.txt"), "no firmware"}});
  const qint64 size = QFileInfo(package).size();
  struct Case {
    const char* name;
    QString downloaded;  // what lies under the downloaded name; empty: nothing
    DownloadResponse response;
    std::optional<qint64> announced;
    const char* reason;  // nullptr: finished
  };
  const QUrl stored = QUrl::fromLocalFile(destination());
  const Case cases[] = {
      {"transport error", package, {.fileURL = stored, .error = QStringLiteral("Connection closed")}, size,
       "download_firmware_fail_content2_filedownload_fail"},
      {"no file", package, {}, size, "download_firmware_fail_content2_file_corruption"},
      {"answer not the file", package, {.rejected = QStringLiteral("HTTP status 404")}, size,
       "download_firmware_fail_content2_file_corruption"},
      {"file gone", QString(), {.fileURL = stored}, size, "download_firmware_fail_content2_file_corruption"},
      {"size differs", package, {.fileURL = stored}, size - 1, "download_firmware_fail_content2_file_corruption"},
      {"no firmware inside", empty, {.fileURL = stored}, QFileInfo(empty).size(),
       "download_firmware_fail_content2_unzip"},
      {"good package", package, {.fileURL = stored}, size, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(destination());
    if (!c.downloaded.isEmpty()) {
      ASSERT_TRUE(QFile::copy(c.downloaded, destination()));
    }
    CameraFirmwareInfoPtr info = entry();
    info->downloadLink.reset();
    info->fileSize = c.announced;
    Screen& s = open(info);
    s.handleDownloadCompletion(c.response, info);
    ASSERT_TRUE(finish());
    EXPECT_EQ(s.lbContent2->text(), c.reason ? text(c.reason) : QString());
    EXPECT_EQ(s.firmewareFileURL.has_value(), c.reason == nullptr);
    EXPECT_TRUE(attached().isEmpty());
  }
  EXPECT_EQ(testing_support::readFile(workingFolder() + QStringLiteral("/QUILL_120.FIR")), firmware_);
}

}  // namespace

namespace {

}  // namespace

namespace {

class DownloadScreenCopy : public FirmwareFolders {
 protected:
  void TearDown() override {
    // The copy lets go of its delegate on its worker; Qt's own counting of that reference is
    // invisible to ThreadSanitizer, so the worker is let finish before the screen goes.
    platform::GlobalQueue::shared().waitForIdle();
    screen_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    FirmwareFolders::TearDown();
  }
  FirmwareFileDownloadViewController& open() {
    screen_ = std::make_unique<FirmwareFileDownloadViewController>();
    screen_->view();
    return *screen_;
  }
  bool settled() {
    return platform::processEventsUntil([&] {
      return screen_->lbTopContent->text() != text("copy_firmware_top");
    }, std::chrono::seconds(10));
  }
  std::unique_ptr<FirmwareFileDownloadViewController> screen_;
};

TEST_F(DownloadScreenCopy, ChosenCardGetsTheFirmwareFile) {
  FirmwareFileDownloadViewController& s = open();
  const QString firmware = workingFolder() + QStringLiteral("/QUILL_120.FIR");
  writeFile(firmware, QByteArray(300000, 'x'));
  const QString card = path(QStringLiteral("card"));
  ASSERT_TRUE(QDir().mkpath(card));

  // Before any extraction the choice is only recorded.
  const QString before = s.lbTopContent->text();
  s.didSelectLocation(QUrl::fromLocalFile(card));
  EXPECT_EQ(s.selectedLocationUrl, QUrl::fromLocalFile(card));
  EXPECT_EQ(s.lbTopContent->text(), before);

  s.showPercent(12);
  s.firmewareFileURL = QUrl::fromLocalFile(firmware);
  s.didSelectLocation(QUrl::fromLocalFile(card));
  EXPECT_EQ(s.lbTopContent->text(), text("copy_firmware_top"));
  EXPECT_EQ(s.lbPercent->text(), QStringLiteral("0%"));
  ASSERT_TRUE(settled());
  EXPECT_EQ(s.lbTopContent->text(), text("copy_firmware_finish_top"));
  EXPECT_EQ(s.lbPercent->text(), QStringLiteral("100%"));
  EXPECT_TRUE(s.btnShowUpdateGuide->isEnabled());
  EXPECT_EQ(testing_support::readFile(card + QStringLiteral("/QUILL_120.FIR")), QByteArray(300000, 'x'));
}

TEST_F(DownloadScreenCopy, CardGoneEndsInTheCopyFailedState) {
  FirmwareFileDownloadViewController& s = open();
  const QString firmware = workingFolder() + QStringLiteral("/QUILL_120.FIR");
  writeFile(firmware, "firmware");
  s.firmewareFileURL = QUrl::fromLocalFile(firmware);
  s.didSelectLocation(QUrl::fromLocalFile(path(QStringLiteral("removed card"))));
  ASSERT_TRUE(settled());
  EXPECT_EQ(s.lbTopContent->text(), text("copy_firmware_fail_top"));
  EXPECT_FALSE(s.btnDownloadRetry->isHidden());
  EXPECT_EQ(s.firmewareFileURL, QUrl::fromLocalFile(firmware));  // kept for the next try
  EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("removed card"))));
}

// The download screen as the content of a window whose storyboard knows every scene. `prepare`
// runs on the screen before it becomes the window's content; `size` is the window's, if given.
struct ScreenInWindow {
  explicit ScreenInWindow(const std::function<void(FirmwareFileDownloadViewController&)>& prepare = {},
                          QSize size = {}) {
    registerScenes(storyboard);
    registerFirmwareScenes(storyboard);
    auto made = storyboard.instantiateController(QStringLiteral("FirmwareFileDownloadViewController"));
    screen = dynamic_cast<FirmwareFileDownloadViewController*>(made.get());
    if (screen && prepare) prepare(*screen);
    window.setContentViewController(std::move(made));
    if (size.isValid()) window.window()->resize(size);
    window.showWindow();
  }
  ~ScreenInWindow() {
    window.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  platform::Storyboard storyboard;
  platform::WindowController window{&storyboard};
  FirmwareFileDownloadViewController* screen = nullptr;
};

// How many pixels inside the button's border are painted exactly in `color`: the title's
// fully covered glyph pixels, whatever palette or style sheet put them there.
int titlePixels(QPushButton* button, const QColor& color) {
  const QImage image = button->grab().toImage();
  int n = 0;
  for (int y = 4; y < image.height() - 4; ++y) {
    for (int x = 4; x < image.width() - 4; ++x) n += image.pixelColor(x, y).rgb() == color.rgb();
  }
  return n;
}

// Every shown button's title is painted yellow while enabled and grey while disabled, after each
// state change. The first state is set before the window shows the screen: moving the screen
// into the window once brought back the enabled colour of the disabled chooser button.
TEST(DownloadScreenScenes, ButtonTitlesFollowTheEnabledStateFromTheFirstStateOn) {
  // The program's own font, whose glyphs cover whole pixels in the title's colour.
  testing_support::requireFonts();
  const QFont before = QApplication::font();
  typography::applyApplicationFont();
  // A loaded screen starts its download before the window shows it.
  ScreenInWindow in(
      [](FirmwareFileDownloadViewController& screen) {
        screen.view();
        screen.showDownloadingState();
      },
      QSize(800, 560));
  FirmwareFileDownloadViewController* s = in.screen;
  ASSERT_TRUE(s);

  const QColor yellow = firmware_look::kAccentYellow, grey96 = firmware_look::kGrey96;
  const auto check = [&](const char* state) {
    SCOPED_TRACE(state);
    int shown = 0;
    for (QPushButton* b : {s->btnShowSelectLocation.data(), s->btnShowUpdateGuide.data(), s->btnDownloadRetry.data()}) {
      if (b->isHidden()) continue;
      ++shown;
      SCOPED_TRACE(b->objectName().toStdString());
      EXPECT_GT(titlePixels(b, b->isEnabled() ? yellow : grey96), 0);
      EXPECT_EQ(titlePixels(b, b->isEnabled() ? grey96 : yellow), 0);
    }
    EXPECT_GT(shown, 0);
  };
  check("first download");
  const std::pair<const char*, std::function<void()>> steps[] = {
      {"download failed", [&] { s->showDownloadFailedState(QStringLiteral("why")); }},
      {"retried download", [&] { s->showDownloadingState(); }},
      {"download finished", [&] { s->showDownloadFinishedState(); }},
      {"copying", [&] { s->showCopyingState(); }},
      {"copy failed", [&] { s->showCopyFailedState(); }},
      {"download again", [&] { s->showDownloadingState(); }},
      {"download finished again", [&] { s->showDownloadFinishedState(); }},
      {"copying again", [&] { s->showCopyingState(); }},
      {"copy finished", [&] { s->showCopyFinishedState(); }},
  };
  for (const auto& [state, act] : steps) {
    act();
    check(state);
  }
  QApplication::setFont(before);
}

TEST(DownloadScreenScenes, ChooserOpensAsASheetWithTheScreenAsDelegate) {
  ScreenInWindow in;
  ASSERT_TRUE(in.screen);
  in.screen->showDownloadFinishedState();
  in.screen->btnShowSelectLocation->click();
  auto* chooser = dynamic_cast<SelectLocationViewController*>(in.screen->presentedViewController());
  ASSERT_TRUE(chooser);
  EXPECT_EQ(chooser->delegate(), in.screen);
  in.screen->dismissViewController(chooser);
}

TEST(DownloadScreenScenes, GuideButtonPutsTheHandOverScreenInPlace) {
  ScreenInWindow in;
  ASSERT_TRUE(in.screen);
  in.screen->showCopyFinishedState();
  in.screen->btnShowUpdateGuide->click();
  EXPECT_TRUE(dynamic_cast<GoFrimwareUpdateViewController*>(in.window.contentViewController()));
}

// Without a storyboard, or outside a window, the screen stays and opens nothing.
TEST(DownloadScreenScenes, NothingHappensWithoutAStoryboardOrWindow) {
  platform::Storyboard storyboard;
  registerScenes(storyboard);
  registerFirmwareScenes(storyboard);
  FirmwareFileDownloadViewController alone;
  alone.view();
  alone.presentSelectLocation();
  alone.showUpdateGuide();
  EXPECT_EQ(alone.presentedViewController(), nullptr);
  alone.setStoryboard(&storyboard);
  alone.showUpdateGuide();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
