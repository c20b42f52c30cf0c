#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "FirmwareFixture.h"
#include "FirmwareTestSupport.h"
#include "app/AppFixture.h"
#include "app/DarkLook.h"
#include "firmware/FirmwareFileDownloadViewController.h"
#include "firmware/FirmwareScenes.h"
#include "firmware/FirmwareSelectViewController.h"
#include "platform/Queues.h"

// The firmware screens in a window with the program's look, their folders of their own and a
// local service that lists three versions.
class FirmwareScreenFixture : public ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    folders_ = std::make_unique<TemporaryFirmwareFolders>();
    ASSERT_TRUE(folders_->isValid());
    darkLook::applyToApplication();
    registerFirmwareScenes(board_);
    answerThreeVersions();
  }
  void TearDown() override {
    ScreenFixture::TearDown();
    folders_.reset();
  }

  void answerThreeVersions() {
    service_.answer(firmware_testing::catalogueJson({{"1.2.0", 10}, {"1.1.0", 10}, {"1.0.2", 10}}));
  }

  // The list for the camera "Tavo Quill" at 1.0.2, once the service has answered.
  FirmwareSelectViewController* showList(QSize size) {
    auto* screen = show<FirmwareSelectViewController>("FirmwareSelectViewController", size, [](auto& s) {
      s.productName = QStringLiteral("Tavo Quill");
      s.firmwareVersion = QStringLiteral("1.0.2");
    });
    if (screen) {
      EXPECT_TRUE(platform::processEventsUntil([&] { return !screen->isRequestPending(); }, std::chrono::seconds(20)));
    }
    return screen;
  }

  // The list as it is when the service cannot be reached; the service answers again after it.
  FirmwareSelectViewController* showListWithoutInternet(QSize size) {
    service_.response = firmware_service::HttpResponse::text(500, "down", "text/plain");
    FirmwareSelectViewController* screen = showList(size);
    answerThreeVersions();
    return screen;
  }

  // The download screen for the camera "Tavo Quill", with no entry: nothing is downloaded,
  // the states are set by hand.
  FirmwareFileDownloadViewController* showDownload(QSize size) {
    return show<FirmwareFileDownloadViewController>(
        "FirmwareFileDownloadViewController", size,
        [](FirmwareFileDownloadViewController& s) { s.productName = QStringLiteral("Tavo Quill"); });
  }

  using ScreenState = std::pair<const char*, std::function<void()>>;
  // The download screen's six states, each a name and what enters it; a failed download says
  // `failure`.
  static std::vector<ScreenState> downloadStates(FirmwareFileDownloadViewController* download, const QString& failure) {
    return {
        {"downloading", [download] { download->showDownloadingState(); download->showPercent(37); }},
        {"download failed", [download, failure] { download->showDownloadFailedState(failure); }},
        {"downloaded", [download] { download->showDownloadFinishedState(); }},
        {"copying", [download] { download->showCopyingState(); download->showPercent(42); }},
        {"copy failed", [download] { download->showCopyFailedState(); }},
        {"copied", [download] { download->showCopyFinishedState(); }},
    };
  }

  std::unique_ptr<TemporaryFirmwareFolders> folders_;
  firmware_testing::LocalService service_;
};
