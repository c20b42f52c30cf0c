#pragma once

#include <chrono>
#include <memory>

#include "FirmwareFixture.h"
#include "FirmwareTestSupport.h"
#include "app/AppFixture.h"
#include "app/DarkLook.h"
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

  std::unique_ptr<TemporaryFirmwareFolders> folders_;
  firmware_testing::LocalService service_;
};
