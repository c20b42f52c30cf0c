#include <QPushButton>
#include <QTableWidget>

#include "FirmwareTestSupport.h"
#include "app/AppFixture.h"
#include "app/CheckSupportDeviceViewController.h"
#include "firmware/FirmwareFileDownloadViewController.h"
#include "firmware/FirmwareScenes.h"
#include "firmware/FirmwareSelectCell.h"
#include "firmware/FirmwareSelectViewController.h"

namespace {

using Type = ViewEvent::ViewEventType;

// The main window with the firmware scenes, against a local firmware service.
class FirmwareWalk : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    registerFirmwareScenes(storyboard_);
  }

  // Real time: the network does not follow the fake clock.
  static bool waitFor(const std::function<bool()>& done) { return platform::processEventsUntil(done, std::chrono::seconds(20)); }

  template <typename W>
  W* child(platform::ViewController* screen, const char* name) {
    return screen->view()->findChild<W*>(QString::fromLatin1(name));
  }

  firmware_testing::LocalService service;
};

TEST_F(FirmwareWalk, SupportCheckToListToDescriptionToDownload) {
  service.answer(firmware_testing::catalogueJson({{"1.0.1", 10}, {"1.2.0", 30}, {"1.1.0", 20}, {"1.0.2", 10}}));
  sim().addCamera(cameraSpec("Orvell Tavo Quill", "1.0.2"));
  open();
  connectCamera();
  post(Type::GET_DEVICE_INFO);
  ASSERT_TRUE(runUntil([&] { return content<CheckSupportDeviceViewController>() != nullptr; }, 2));
  child<QPushButton>(content<CheckSupportDeviceViewController>(), "btnSupportNext")->click();

  auto* list = content<FirmwareSelectViewController>();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->productName, QStringLiteral("Tavo Quill"));
  EXPECT_EQ(list->firmwareVersion, QStringLiteral("1.0.2"));
  ASSERT_TRUE(waitFor([&] { return !list->isRequestPending(); }));
  EXPECT_EQ(service.server.requests().value(0).target,
            "/tavoinfo/downlink?model=VGF2byBRdWlsbA==&os=mac&currentver=1.0.2");
  ASSERT_EQ(list->tbv->rowCount(), 3);  // 1.2.0, 1.1.0 and the camera's own 1.0.2

  list->tbv->selectRow(1);
  list->btnShowFirmewareInfo->click();
  ASSERT_FALSE(list->vSelectedFirmwareInfo->isHidden());
  list->btnCheck->click();
  EXPECT_TRUE(list->btnFirmwareDownload->isEnabled());
  list->btnCheck->click();
  EXPECT_FALSE(list->btnFirmwareDownload->isEnabled());
  list->btnFirmwareDownload->click();  // disabled: no effect
  EXPECT_EQ(content<FirmwareSelectViewController>(), list);
  list->btnCheck->click();
  const CameraFirmwareInfoPtr chosen = list->arCameraFirmwareInfo.at(1);
  list->btnFirmwareDownload->click();

  auto* download = content<FirmwareFileDownloadViewController>();
  ASSERT_NE(download, nullptr);
  EXPECT_EQ(download->selectedCameraFirmwareInfo, chosen);  // the list's own object
  EXPECT_EQ(download->selectedCameraFirmwareInfo->version, QStringLiteral("1.1.0"));
  EXPECT_EQ(download->selectedCameraFirmwareInfo->fileSize, 20);
  EXPECT_EQ(download->productName, QStringLiteral("Tavo Quill"));
}

}  // namespace
