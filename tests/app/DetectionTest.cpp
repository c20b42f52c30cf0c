#include <cstring>

#include "AppFixture.h"
#include "app/CheckDeviceViewController.h"
#include "app/CheckSupportDeviceViewController.h"

namespace {

using Type = ViewEvent::ViewEventType;
using Detection = AppFixture;

double firstConnectedTime(const std::vector<vok::sim::Call>& calls) {
  for (const auto& c : calls) {
    if (c.name == "VokSetObjectEventHandler") return c.time;
  }
  return -1;
}

TEST_F(Detection, AttachedCameraIsAcceptedOnTheFifthPassAboutFourSecondsLater) {
  sim().addCamera({});
  open();
  const double start = now();
  connectCamera();
  EXPECT_NEAR(now() - start, 4.0, 0.01);
  // Passes 1 to 4 opened and released the camera again; the 5th kept it.
  EXPECT_EQ(sim().calls("VokGetCameraList").size(), 5u);
  EXPECT_EQ(sim().calls("VokGetChildAtIndex").size(), 5u);
  EXPECT_EQ(sim().stats().live, 1);  // the accepted camera only
  EXPECT_NEAR(firstConnectedTime(sim().calls()) - start, 4.0, 0.01);
}

TEST_F(Detection, OnlyTheFirstCameraOfTheListIsOpened) {
  const auto first = sim().addCamera(cameraSpec("Orvell Tavo Quill"));
  sim().addCamera(cameraSpec("Orvell Tavo Wren"));
  MainWindowController& window = open();
  connectCamera();
  EXPECT_EQ(sim().cameraOf(window.camera()), first);
  for (const auto& call : sim().calls("VokGetChildAtIndex")) EXPECT_EQ(call.args.at(0), 0u);
}

TEST_F(Detection, CameraPluggedAfterTheRestartPhaseIsFoundWithinASecond) {
  const auto camera = sim().addCamera({}, /*plugged=*/false);
  open();
  post(Type::CHECK_DEVICE_CONNECT);
  runFor(6.5);
  EXPECT_EQ(count(Type::DEVICE_CONNECTED), 0);
  sim().plug(camera);
  const double plugged = now();
  ASSERT_TRUE(runUntil([&] { return count(Type::DEVICE_CONNECTED) > 0; }, 3));
  EXPECT_LE(now() - plugged, 1.0 + 1e-6);
  EXPECT_EQ(sim().stats().live, 1);
}

TEST_F(Detection, AFailingPassReleasesEverythingAndTriesAgain) {
  struct Case {
    const char* call;
    VokError status;
  };
  const Case cases[] = {{"VokGetCameraList", VOK_ERR_INTERNAL},
                        {"VokGetChildCount", VOK_ERR_INTERNAL},
                        {"VokGetChildAtIndex", VOK_ERR_INVALID_PARAMETER},
                        {"VokGetDeviceInfo", VOK_ERR_DEVICE_NOT_FOUND}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    sim().reset();
    platform::Application::resetForTests();
    sim().addCamera({});
    MainWindowController& window = open();
    sim().fail(c.call, c.status);
    post(Type::CHECK_DEVICE_CONNECT);
    runFor(6.5);
    EXPECT_EQ(count(Type::DEVICE_CONNECTED), 0);
    EXPECT_EQ(window.camera(), nullptr);
    EXPECT_EQ(sim().stats().live, 0);
    EXPECT_GE(sim().calls("VokGetCameraList").size(), 6u);  // still searching, once a second
    sim().fail(c.call, VOK_ERR_OK);
    EXPECT_TRUE(runUntil([&] { return count(Type::DEVICE_CONNECTED) > 0; }, 1.5));
    window.close();
    window_.reset();
    viewEvents.clear();
  }
}

TEST_F(Detection, EmptyCameraListIsAPassWithoutCamera) {
  open();
  post(Type::CHECK_DEVICE_CONNECT);
  runFor(5.5);
  EXPECT_EQ(count(Type::DEVICE_CONNECTED), 0);
  EXPECT_TRUE(sim().calls("VokGetChildAtIndex").empty());
  EXPECT_EQ(sim().stats().live, 0);
}

TEST_F(Detection, OneSearchAtATime) {
  sim().addCamera({}, false);
  open();
  post(Type::CHECK_DEVICE_CONNECT);
  runFor(2.5);
  post(Type::CHECK_DEVICE_CONNECT);  // a new start ends the old search
  post(Type::CHECK_DEVICE_CONNECT);
  // The middle search may make its first pass before the last start ends it: let that happen
  // before counting, so only the surviving search's passes are counted.
  testing_support::settle(clock_);
  sim().clearCalls();
  runFor(10);
  // One search: one pass a second (plus the pass at the start).
  EXPECT_LE(sim().calls("VokGetCameraList").size(), 11u);
  EXPECT_GE(sim().calls("VokGetCameraList").size(), 10u);
}

// The maker's name is removed only where the name begins with it; empty and non-ASCII texts
// are read again every 3 s.
TEST_F(Detection, DeviceInformationTable) {
  struct Case {
    std::string name;
    std::string version;
    std::optional<QString> expected;  // none: never reaches the support check
  };
  const std::string noZero(256, 'A');
  const std::vector<Case> cases = {
      {"Orvell Tavo Quill", "1.0.2", QStringLiteral("Tavo Quill")},
      {"Tavo Quill", "1.0.2", QStringLiteral("Tavo Quill")},
      {"Orvell Tavo Orvell Quill", "1.0.2", QStringLiteral("Tavo Quill")},
      {"Tavo Orvell Quill", "1.0.2", QStringLiteral("Tavo Orvell Quill")},
      {"orvell Tavo Quill", "1.0.2", QStringLiteral("orvell Tavo Quill")},
      {"", "1.0.2", std::nullopt},
      {"Orvell Tavo Quill", "", std::nullopt},
      {"Orvell Tav\xC3\xB6", "1.0.2", std::nullopt},
      {noZero, "1.0.2", QString(256, QLatin1Char('A'))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim().reset();
    platform::Application::resetForTests();
    viewEvents.clear();
    vok::sim::CameraSpec spec;
    spec.productName = "placeholder";
    const auto camera = sim().addCamera(spec);
    // Raw bytes in the camera's 256-byte text field, so that a name without a zero byte can
    // be given.
    std::vector<std::uint8_t> nameBytes(c.name.begin(), c.name.end());
    nameBytes.resize(256, 0);
    sim().setProperty(camera, 0x2, vok::sim::PropertyValue::raw(kVokDataType_String, nameBytes));
    sim().setProperty(camera, 0x7, vok::sim::PropertyValue::string(c.version));
    MainWindowController& window = open();
    connectCamera();
    post(Type::GET_DEVICE_INFO);
    const bool shown = runUntil([&] { return count(Type::MAIN_WINDOW_SHOW_CHECK_SUPPORT_DEVICE_VIEW) > 0; }, 7);
    EXPECT_EQ(shown, c.expected.has_value());
    if (c.expected) {
      EXPECT_EQ(window.productName(), *c.expected);
      EXPECT_EQ(window.firmwareVersion(), QString::fromStdString(c.version));
    } else {
      // Read again every 3 s: at 0, 3 and 6 s.
      EXPECT_EQ(sim().calls("VokGetChildCount").size() - 5, 3u);
      EXPECT_FALSE(window.productName().has_value());
    }
    window.close();
    window_.reset();
  }
}

TEST_F(Detection, SupportCheckFollowsASuccessfulReadAfterAShortPause) {
  sim().addCamera({});
  open();
  connectCamera();
  post(Type::GET_DEVICE_INFO);
  const double asked = now();
  ASSERT_TRUE(runUntil([&] { return count(Type::MAIN_WINDOW_SHOW_CHECK_SUPPORT_DEVICE_VIEW) > 0; }, 2));
  EXPECT_NEAR(now() - asked, 0.3, 0.01);
}

TEST_F(Detection, ProbeTable) {
  struct Case {
    VokError probe;
    bool atOnceWithoutTexts;  // 0x61: straight to the support check
    double shownAfter;
  };
  const Case cases[] = {{VOK_ERR_COMM_DEVICE_INCOMPATIBLE, true, 0.0},
                        {VOK_ERR_INTERNAL, false, 3.3},  // retried 3 s later, then read
                        {VOK_ERR_OK, false, 0.3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.probe);
    sim().reset();
    platform::Application::resetForTests();
    viewEvents.clear();
    sim().addCamera({});
    MainWindowController& window = open();
    connectCamera();
    if (c.probe != VOK_ERR_OK) sim().script("VokGetChildCount", {c.probe});
    post(Type::GET_DEVICE_INFO);
    const double asked = now();
    ASSERT_TRUE(runUntil([&] { return count(Type::MAIN_WINDOW_SHOW_CHECK_SUPPORT_DEVICE_VIEW) > 0; }, 5));
    EXPECT_NEAR(now() - asked, c.shownAfter, 0.01);
    EXPECT_EQ(window.productName().has_value(), !c.atOnceWithoutTexts);
    auto* screen = content<CheckSupportDeviceViewController>();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->productName.has_value(), !c.atOnceWithoutTexts);
    window.close();
    window_.reset();
  }
}

// Probe 0x61 skips the read and the support check gets the texts held from before: only those
// of the same camera (same device information), never another camera's.
TEST_F(Detection, EarlierTextsAreKeptOnlyForTheSameCamera) {
  struct Case {
    const char* name;
    std::optional<vok::sim::CameraSpec> other;  // none: the first camera plugged back in
    bool keepsTexts;
  };
  vok::sim::CameraSpec otherPort = cameraSpec("Orvell Tavo Quill");
  otherPort.portName = "usb:002,009";
  const Case cases[] = {
      {"the same camera again", std::nullopt, true},
      {"another model", cameraSpec("Orvell Tavo Sable", "2.1.0"), false},
      {"the same model on another port", otherPort, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim().reset();
    platform::Application::resetForTests();
    viewEvents.clear();
    const auto first = sim().addCamera(cameraSpec("Orvell Tavo Quill", "1.0.2"));
    MainWindowController& window = open();
    connectCamera();
    post(Type::GET_DEVICE_INFO);
    ASSERT_TRUE(runUntil([&] { return count(Type::MAIN_WINDOW_SHOW_CHECK_SUPPORT_DEVICE_VIEW) > 0; }, 2));
    ASSERT_EQ(window.productName(), QStringLiteral("Tavo Quill"));

    // Retry from the support check, with the camera swapped meanwhile.
    sim().unplug(first);
    ASSERT_TRUE(runUntil([&] { return count(Type::DEVICE_DISCONNECTED) > 0; }, 1));
    if (c.other) {
      sim().addCamera(*c.other);
    } else {
      sim().plug(first);
    }
    viewEvents.clear();
    post(Type::MAIN_WINDOW_SHOW_CHECK_DEVICE);
    ASSERT_TRUE(runUntil([&] { return count(Type::DEVICE_CONNECTED) > 0; }, 6));
    sim().script("VokGetChildCount", {VOK_ERR_COMM_DEVICE_INCOMPATIBLE});
    post(Type::GET_DEVICE_INFO);
    ASSERT_TRUE(runUntil([&] { return count(Type::MAIN_WINDOW_SHOW_CHECK_SUPPORT_DEVICE_VIEW) > 0; }, 1));
    auto* screen = content<CheckSupportDeviceViewController>();
    ASSERT_NE(screen, nullptr);
    const std::optional<QString> name = c.keepsTexts ? std::optional(QStringLiteral("Tavo Quill")) : std::nullopt;
    const std::optional<QString> version = c.keepsTexts ? std::optional(QStringLiteral("1.0.2")) : std::nullopt;
    EXPECT_EQ(screen->productName, name);
    EXPECT_EQ(screen->firmwareVersion, version);
    // What Next hands on to the firmware list.
    EXPECT_EQ(window.productName(), name);
    EXPECT_EQ(window.firmwareVersion(), version);
    window.close();
    window_.reset();
  }
}

TEST_F(Detection, DisconnectionOnTheDeviceCheckRestartsTheSearch) {
  const auto camera = sim().addCamera({});
  MainWindowController& window = open();
  post(Type::MAIN_WINDOW_SHOW_CHECK_DEVICE);
  ASSERT_TRUE(runUntil([&] { return count(Type::DEVICE_CONNECTED) > 0; }, 6));
  runFor(2);  // session open
  sim().unplug(camera);
  const double unplugged = now();
  ASSERT_TRUE(runUntil([&] { return count(Type::DEVICE_DISCONNECTED) > 0; }, 1));
  ASSERT_TRUE(runUntil([&] { return window.camera() == nullptr; }, 1));
  EXPECT_EQ(sim().stats().live, 0);
  sim().plug(camera);
  ASSERT_TRUE(runUntil([&] { return count(Type::DEVICE_CONNECTED) > 1; }, 12));
  EXPECT_GE(now() - unplugged, 8.0 - 1e-6);
  EXPECT_EQ(sim().stats().useAfterRelease, 0);
  EXPECT_EQ(sim().stats().doubleReleases, 0);
}

TEST_F(Detection, DisconnectionOnAnotherScreenChangesNothing) {
  const auto camera = sim().addCamera({});
  MainWindowController& window = open();
  connectCamera();  // the blank screen is still shown
  const VokCameraRef held = window.camera();
  sim().unplug(camera);
  ASSERT_TRUE(runUntil([&] { return count(Type::DEVICE_DISCONNECTED) > 0; }, 1));
  sim().plug(camera);
  sim().clearCalls();
  runFor(10);
  EXPECT_EQ(window.camera(), held);
  EXPECT_TRUE(sim().calls("VokGetCameraList").empty());
  EXPECT_EQ(count(Type::DEVICE_CONNECTED), 1);
}

// A read under way when the camera goes away never touches the released reference, and goes
// on with the camera accepted next.
TEST_F(Detection, ReadSkipsAReleasedCameraAndGoesOnWithTheNextOne) {
  const auto camera = sim().addCamera({});
  MainWindowController& window = open();
  post(Type::MAIN_WINDOW_SHOW_CHECK_DEVICE);
  ASSERT_TRUE(runUntil([&] { return count(Type::DEVICE_CONNECTED) > 0; }, 6));
  sim().fail("VokGetChildCount", VOK_ERR_INTERNAL);  // the read keeps retrying
  post(Type::GET_DEVICE_INFO);
  runFor(4);
  sim().unplug(camera);
  ASSERT_TRUE(runUntil([&] { return window.camera() == nullptr; }, 2));
  sim().fail("VokGetChildCount", VOK_ERR_OK);
  sim().clearCalls();
  runFor(3.5);  // the restart's wait: nothing is read meanwhile
  for (const auto& call : sim().calls()) EXPECT_NE(call.name, "VokGetPropertyData");
  EXPECT_EQ(sim().stats().useAfterRelease, 0);

  sim().plug(camera);
  ASSERT_TRUE(runUntil([&] { return count(Type::MAIN_WINDOW_SHOW_CHECK_SUPPORT_DEVICE_VIEW) > 0; }, 15));
  EXPECT_EQ(window.productName(), QStringLiteral("Tavo Quill"));
  EXPECT_EQ(sim().stats().useAfterRelease, 0);
  EXPECT_EQ(sim().stats().unknownReferences, 0);
}

// Closing the window while work waits: the search between passes, the read during its 3 s
// retry and during its 0.3 s hand-over. Nothing calls the SDK afterwards and nothing is shown.
TEST_F(Detection, NoSdkCallAfterTerminateWhileSearchingAndReading) {
  enum class Phase { searching, readRetry, handOver };
  const std::pair<Phase, const char*> phases[] = {
      {Phase::searching, "searching"}, {Phase::readRetry, "read retry"}, {Phase::handOver, "hand-over"}};
  const auto versionReads = [&] {
    int reads = 0;
    for (const auto& call : sim().calls("VokGetPropertyData")) reads += call.args.at(0) == 0x7 ? 1 : 0;
    return reads;
  };
  for (const auto& [phase, name] : phases) {
    SCOPED_TRACE(name);
    sim().reset();
    platform::Application::resetForTests();
    viewEvents.clear();
    sim().addCamera({}, /*plugged=*/phase != Phase::searching);
    MainWindowController& window = open();
    if (phase == Phase::searching) {
      post(Type::CHECK_DEVICE_CONNECT);
      runFor(2.5);
    } else {
      connectCamera();
      runFor(1);  // the session opening
      if (phase == Phase::readRetry) sim().fail("VokGetChildCount", VOK_ERR_INTERNAL);
      post(Type::GET_DEVICE_INFO);
      const double asked = now();
      if (phase == Phase::readRetry) {
        runFor(1.5);
        EXPECT_EQ(sim().calls("VokGetChildCount").back().status, VOK_ERR_INTERNAL);
      } else {
        ASSERT_TRUE(runUntil([&] { return versionReads() == 1; }, 0.1));
      }
      EXPECT_LT(now() - asked, phase == Phase::readRetry ? 3.0 : 0.3);  // still waiting
    }
    ASSERT_EQ(count(Type::MAIN_WINDOW_SHOW_CHECK_SUPPORT_DEVICE_VIEW), 0);
    window.close();
    runFor(10);
    EXPECT_EQ(sim().terminateCount(), 1);
    EXPECT_EQ(sim().stats().callsAfterTerminate, 0);
    EXPECT_EQ(sim().stats().leakedAtTerminate, 0);
    EXPECT_EQ(count(Type::MAIN_WINDOW_SHOW_CHECK_SUPPORT_DEVICE_VIEW), 0);
    EXPECT_EQ(sim().calls().back().name, "VokTerminateSDK");
    window_.reset();
  }
}

}  // namespace
