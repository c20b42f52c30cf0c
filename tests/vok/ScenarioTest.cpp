#include <QDir>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "vok/Scenario.h"
#include "SimFixture.h"

namespace {

vok::sim::Simulator& sim() { return vok::sim::Simulator::instance(); }

class ScenarioTest : public ::testing::Test {
 protected:
  void SetUp() override { sim().reset(); }
  void TearDown() override {
    unsetenv("RAVLIO_VOK_SCENARIO");
    sim().reset();
  }
};

std::string productName(vok::sim::CameraId camera) {
  const auto value = sim().property(camera, 0x2);
  return value ? std::string(reinterpret_cast<const char*>(value->bytes.data())) : std::string();
}

// Real time, kept short: the scenario timer runs on the wall clock.
bool waitForPlugged(vok::sim::CameraId camera, bool plugged) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (sim().isPlugged(camera) != plugged) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace

TEST_F(ScenarioTest, ParsesGoodTextsAndRejectsBadOnesWithAReason) {
  struct Case {
    const char* json;
    bool ok;
    const char* errorPart;
  };
  const Case cases[] = {
      {"{}", true, ""},
      {R"({"cameras": [{"plugAt": "1.5", "probeStatuses": ["0x81", 129]}], "unknown": [1]})", true, ""},
      {R"({"initializeStatus": "0x2", "cameras": []})", true, ""},
      {"not json", false, "not JSON"},
      {"[1, 2]", false, "not a JSON object"},
      {R"({"cameras": {}})", false, "cameras"},
      {R"({"cameras": [42]})", false, "cameras[0]"},
      {R"({"cameras": [{"productName": 5}]})", false, "productName"},
      {R"({"cameras": [{"plugAt": -1}]})", false, "plugAt"},
      {R"({"cameras": [{"probeStatuses": [1.5]}]})", false, "probeStatuses"},
      {R"({"initializeStatus": "0xZZ"})", false, "initializeStatus"},
      {R"({"callLog": 3})", false, "callLog"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    std::string error;
    EXPECT_EQ(vok::sim::loadScenarioText(c.json, &error), c.ok);
    EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
  }
}

TEST_F(ScenarioTest, FailedLoadLeavesTheSimulatorAsItWas) {
  const auto id = sim().addCamera({});
  EXPECT_FALSE(vok::sim::loadScenarioText(R"({"cameras": [{"plugAt": "soon"}]})"));
  EXPECT_TRUE(sim().isPlugged(id));
  EXPECT_EQ(productName(id), "Orvell Tavo Quill");
}

TEST_F(ScenarioTest, AppliesStartStatusProbeStatusesAndEmptyNameReads) {
  ASSERT_TRUE(vok::sim::loadScenarioText(R"({
    "initializeStatus": 2,
    "cameras": [{"productName": "Orvell Tavo Moth", "firmwareVersion": "2.0.0",
                 "probeStatuses": [129, "0x61"], "infoEmptyReads": 1}]})"));
  EXPECT_EQ(VokInitializeSDK(), 2u);
  ASSERT_EQ(VokInitializeSDK(), VOK_ERR_OK);

  VokCameraListRef list = nullptr;
  ASSERT_EQ(VokGetCameraList(&list), VOK_ERR_OK);
  VokUInt32 count = 0;
  EXPECT_EQ(VokGetChildCount(list, &count), VOK_ERR_OK);  // the probe script is the camera's only
  EXPECT_EQ(count, 1u);
  VokCameraRef cam = nullptr;
  ASSERT_EQ(VokGetChildAtIndex(list, 0, &cam), VOK_ERR_OK);
  VokRelease(list);
  EXPECT_EQ(VokGetChildCount(cam, &count), VOK_ERR_DEVICE_BUSY);
  EXPECT_EQ(VokGetChildCount(cam, &count), VOK_ERR_COMM_DEVICE_INCOMPATIBLE);
  EXPECT_EQ(VokGetChildCount(cam, &count), VOK_ERR_OK);

  char name[256] = {};
  EXPECT_EQ(VokGetPropertyData(cam, 0x2, 0, sizeof name, name), VOK_ERR_OK);  // before the session: whole
  EXPECT_STREQ(name, "Orvell Tavo Moth");
  ASSERT_EQ(VokOpenSession(cam), VOK_ERR_OK);
  const char* expected[] = {"", "Orvell Tavo Moth"};
  for (const char* text : expected) {
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(VokGetPropertyData(cam, 0x2, 0, sizeof name, name), VOK_ERR_OK);
    EXPECT_STREQ(name, text);
  }
  VokRelease(cam);
}

TEST_F(ScenarioTest, TimerPlugsUnplugsAndReplugs) {
  // Each state lasts long enough that a loaded machine (sanitizer runs) still sees it.
  ASSERT_TRUE(vok::sim::loadScenarioText(
      R"({"cameras": [{"plugAt": 0.02, "unplugAt": 0.4, "replugAt": "0.8"}]})"));
  EXPECT_TRUE(waitForPlugged(1, true));
  EXPECT_TRUE(waitForPlugged(1, false));
  EXPECT_TRUE(waitForPlugged(1, true));
}

// Times too large for the clock's nanoseconds used to wrap round to the past and fire at once.
TEST_F(ScenarioTest, FarOffTimesNeverFire) {
  ASSERT_TRUE(vok::sim::loadScenarioText(
      R"({"cameras": [{"plugAt": 0, "unplugAt": 1e300}, {"plugAt": 3.3e62}, {"plugAt": 0.02}]})"));
  EXPECT_TRUE(waitForPlugged(3, true));  // a step after the far-off ones still comes
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(sim().isPlugged(1));
  EXPECT_FALSE(sim().isPlugged(2));
}

TEST_F(ScenarioTest, DefaultScenarioWithoutVariableAndAfterAnUnreadableFile) {
  unsetenv("RAVLIO_VOK_SCENARIO");
  ASSERT_TRUE(vok::sim::loadScenarioFromEnvironment());
  EXPECT_EQ(productName(1), "Orvell Tavo Quill");
  EXPECT_FALSE(sim().isPlugged(1));  // comes in 1.5 s after start

  setenv("RAVLIO_VOK_SCENARIO", "/nonexistent/scenario.json", 1);
  std::string error;
  EXPECT_FALSE(vok::sim::loadScenarioFromEnvironment(&error));
  EXPECT_NE(error.find("/nonexistent/scenario.json"), std::string::npos) << error;
  EXPECT_EQ(productName(1), "Orvell Tavo Quill");
}

TEST_F(ScenarioTest, ShippedScenarioFilesLoad) {
  const QDir dir(QStringLiteral(RAVLIO_SOURCE_RESOURCES "/scenarios"));
  const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files);
  EXPECT_GE(files.size(), 4);
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    std::string error;
    EXPECT_TRUE(vok::sim::loadScenarioFile(dir.filePath(file).toStdString(), &error)) << error;
    EXPECT_TRUE(productName(1).rfind("Orvell Tavo ", 0) == 0);
  }
}
