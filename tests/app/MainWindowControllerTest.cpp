#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

#include "AppFixture.h"
#include "support/TestFiles.h"
#include "app/CheckDeviceViewController.h"
#include "app/CheckSupportDeviceViewController.h"
#include "app/ProductScreen.h"
#include "camera/CameraEvent.h"
#include "camera/ViewNotification.h"

// The firmware list lives in the layer above the shell, which these tests do not link. The shell
// knows it only by its scene identifier, its class name and the two texts it is given.
class FirmwareSelectViewController final : public platform::ViewController, public ProductScreen {
  Q_OBJECT
};

namespace {

using Type = ViewEvent::ViewEventType;

using MainWindow = AppFixture;

TEST_F(MainWindow, TitleIsAnyBundleNameElseRavlio) {
  struct Case {
    const char* info;  // nullptr: no Info.ini at all
    const char* title;
  };
  const Case cases[] = {{"CFBundleName=Tavo Updater\n", "Tavo Updater"},
                        {"CFBundleName=\n", ""},
                        {"CFBundleName=\"\"\n", ""},
                        {"CFBundleIdentifier=com.example\n", "Ravlio"},
                        {nullptr, "Ravlio"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.info ? c.info : "no Info.ini");
    QTemporaryDir dir;
    if (c.info) testing_support::writeFile(dir.filePath(QStringLiteral("Info.ini")), c.info);
    platform::Bundle::setMainPath(dir.path());
    MainWindowController window(&storyboard_);
    EXPECT_EQ(window.window()->windowTitle(), QString::fromUtf8(c.title));
    EXPECT_EQ(window.window()->palette().color(QPalette::Window), QColor(35, 35, 35));
    window.close();
    platform::Application::resetForTests();
  }
  platform::Bundle::setMainPath(QString::fromUtf8(RAVLIO_SOURCE_RESOURCES));
}

TEST_F(MainWindow, StartsTheSdkOnceAndTerminatesItAfterTheCameraOnClose) {
  sim().addCamera({});
  MainWindowController& window = open();
  EXPECT_TRUE(window.isSDKLoaded());
  EXPECT_EQ(sim().initializeCount(), 1);
  connectCamera();
  const VokCameraRef camera = window.camera();
  ASSERT_NE(camera, nullptr);
  // Let the session opening and the product-name read happen.
  runFor(3);
  window.close();

  EXPECT_TRUE(platform::Application::isTerminating());
  EXPECT_EQ(sim().terminateCount(), 1);
  const auto calls = sim().calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().name, "VokTerminateSDK");
  // The camera's release is the last call before the SDK's termination.
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[calls.size() - 2].name, "VokRelease");
  EXPECT_EQ(calls[calls.size() - 2].ref, camera);
  const auto stats = sim().stats();
  EXPECT_EQ(stats.leakedAtTerminate, 0);
  EXPECT_EQ(stats.useAfterRelease, 0);
  EXPECT_EQ(stats.doubleReleases, 0);
  // Nothing calls the SDK after it has been terminated, also later.
  runFor(5);
  EXPECT_EQ(sim().stats().callsAfterTerminate, 0);
}

TEST_F(MainWindow, FailingSdkStartShowsOneAlertAndEndsWithoutTerminate) {
  sim().script("VokInitializeSDK", {VOK_ERR_INTERNAL});
  MainWindowController& window = open();
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0].buttons, QStringList{platform::localizedString(QStringLiteral("confirm"))});
  EXPECT_EQ(alerts[0].informativeText, platform::localizedString(QStringLiteral("program_initialization_failed")));
  EXPECT_TRUE(alerts[0].messageText.isEmpty());
  EXPECT_TRUE(window.isClosed());
  EXPECT_FALSE(window.isSDKLoaded());
  EXPECT_TRUE(platform::Application::isTerminating());
  EXPECT_EQ(platform::Application::exec(), 0);  // the loop never runs
  EXPECT_EQ(sim().terminateCount(), 0);
}

TEST_F(MainWindow, TerminateAppEventClosesTheWindow) {
  MainWindowController& window = open();
  ViewNotification().notify(std::make_shared<CameraEvent>(CameraEvent::CameraEventType::property_CHANGED, 5u));
  EXPECT_FALSE(window.isClosed());
  ViewNotification().notify(std::make_shared<CameraEvent>(CameraEvent::CameraEventType::terminate_APP, QVariant()));
  EXPECT_TRUE(window.isClosed());
  EXPECT_EQ(sim().terminateCount(), 1);
}

// What each view event does while the window shows a blank screen and no camera is there; the
// firmware list follows a read, so that there are texts to hand on.
TEST_F(MainWindow, ViewEventRoutingTable) {
  enum class Expect { none, checkDevice, supportCheck, firmwareList, search, read };
  const auto expectation = [](int value) {
    switch (static_cast<Type>(value)) {
      case Type::MAIN_WINDOW_SHOW_CHECK_DEVICE: return Expect::checkDevice;
      case Type::MAIN_WINDOW_SHOW_CHECK_SUPPORT_DEVICE_VIEW: return Expect::supportCheck;
      case Type::MAIN_WINDOW_SHOW_FRIMWARE_DOWNLOAD_VIEW: return Expect::firmwareList;
      case Type::CHECK_DEVICE_CONNECT: return Expect::search;
      case Type::GET_DEVICE_INFO: return Expect::read;
      default: return Expect::none;
    }
  };
  storyboard_.registerScene<FirmwareSelectViewController>(QStringLiteral("FirmwareSelectViewController"));
  for (int value = 0; value < ViewEvent::kTypeCount; ++value) {
    SCOPED_TRACE(value);
    sim().reset();
    platform::Application::resetForTests();
    viewEvents.clear();
    const Expect expect = expectation(value);
    MainWindowController& window = open();
    if (expect == Expect::firmwareList) {
      sim().addCamera(cameraSpec("Orvell Tavo Sable", "2.1.0"));
      connectCamera();
      post(Type::GET_DEVICE_INFO);
      ASSERT_TRUE(runUntil([&] { return content<CheckSupportDeviceViewController>() != nullptr; }, 5));
    }
    platform::ViewController* before = window.contentViewController();
    sim().clearCalls();
    post(static_cast<Type>(value));
    runFor(0.5);
    auto* checkDevice = dynamic_cast<CheckDeviceViewController*>(window.contentViewController());
    EXPECT_EQ(checkDevice != nullptr, expect == Expect::checkDevice);
    if (checkDevice) {
      EXPECT_EQ(window.checkDeviceViewControllerDelegate(), checkDevice);
    }
    EXPECT_EQ(dynamic_cast<CheckSupportDeviceViewController*>(window.contentViewController()) != nullptr,
              expect == Expect::supportCheck);
    auto* list = dynamic_cast<FirmwareSelectViewController*>(window.contentViewController());
    EXPECT_EQ(list != nullptr, expect == Expect::firmwareList);
    if (list) {
      EXPECT_EQ(list->productName, QStringLiteral("Tavo Sable"));
      EXPECT_EQ(list->firmwareVersion, QStringLiteral("2.1.0"));
    }
    if (expect == Expect::none || expect == Expect::read) {
      EXPECT_EQ(window.contentViewController(), before);
    }
    // The device check asks for the search itself when it appears.
    const bool searched = !sim().calls("VokGetCameraList").empty();
    EXPECT_EQ(searched, expect == Expect::search || expect == Expect::checkDevice);
    window.close();
    window_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

TEST_F(MainWindow, SupportCheckGetsTheTextsReadAtTheMomentOfTheSwitch) {
  sim().addCamera(cameraSpec("Orvell Tavo Sable", "2.1.0"));
  MainWindowController& window = open();
  connectCamera();
  runFor(2);
  post(Type::GET_DEVICE_INFO);
  ASSERT_TRUE(runUntil([&] { return content<CheckSupportDeviceViewController>() != nullptr; }, 5));
  auto* screen = content<CheckSupportDeviceViewController>();
  EXPECT_EQ(screen->productName, QStringLiteral("Tavo Sable"));
  EXPECT_EQ(screen->firmwareVersion, QStringLiteral("2.1.0"));
  EXPECT_EQ(window.productName(), QStringLiteral("Tavo Sable"));
}

TEST_F(MainWindow, ReplacedDeviceCheckIsHeldWeaklyAndObservesNothing) {
  auto& center = platform::NotificationCenter::defaultCenter();
  const auto nextOf = [](CheckDeviceViewController* screen) {
    return screen->view()->findChild<QPushButton*>(QStringLiteral("btnConnectNext"));
  };
  MainWindowController& window = open();
  post(Type::MAIN_WINDOW_SHOW_CHECK_DEVICE);
  QPointer<CheckDeviceViewController> first = window.checkDeviceViewControllerDelegate();
  ASSERT_NE(first, nullptr);
  const void* firstAddress = first.data();
  post(Type::MAIN_WINDOW_SHOW_CHECK_DEVICE);  // a new screen each time
  QPointer<CheckDeviceViewController> second = window.checkDeviceViewControllerDelegate();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);

  // Replaced but not yet deleted: only the shown screen follows the camera.
  ASSERT_FALSE(first.isNull());
  post(Type::DEVICE_CONNECTED);
  EXPECT_FALSE(nextOf(first)->isEnabled());
  EXPECT_TRUE(nextOf(second)->isEnabled());
  EXPECT_FALSE(center.hasObserver(firstAddress));
  EXPECT_TRUE(center.hasObserver(second.data()));

  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
  EXPECT_EQ(window.checkDeviceViewControllerDelegate(), second);
  const void* secondAddress = second.data();
  post(Type::MAIN_WINDOW_SHOW_CHECK_SUPPORT_DEVICE_VIEW);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(second.isNull());
  EXPECT_EQ(window.checkDeviceViewControllerDelegate(), nullptr);  // deleted, not dangling
  EXPECT_FALSE(center.hasObserver(secondAddress));
  // Under AddressSanitizer this would show a call into a deleted screen.
  post(Type::DEVICE_DISCONNECTED);
  post(Type::DEVICE_CONNECTED);
}

}  // namespace

#include "MainWindowControllerTest.moc"
