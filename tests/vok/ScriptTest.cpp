#include <cstring>
#include <string>

#include "SimFixture.h"

using Scripts = SimTest;

TEST_F(Scripts, ByCallAnswerInTurnWithoutWorkThenCallWorks) {
  VokCameraRef cam = openCamera();
  sim().script("VokGetChildCount", {VOK_ERR_DEVICE_BUSY, VOK_ERR_COMM_DEVICE_INCOMPATIBLE, VOK_ERR_OK});
  const VokError expected[] = {VOK_ERR_DEVICE_BUSY, VOK_ERR_COMM_DEVICE_INCOMPATIBLE, VOK_ERR_OK, VOK_ERR_OK};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    VokUInt32 count = 77;
    EXPECT_EQ(VokGetChildCount(cam, &count), expected[i]);
    EXPECT_EQ(count, expected[i] == VOK_ERR_OK ? 1u : 77u);  // a scripted failure leaves out values alone
  }
  VokRelease(cam);
}

TEST_F(Scripts, ByPropertyIdHitOnlyThatId) {
  VokCameraRef cam = openCamera();
  sim().script("VokGetPropertyData", 0x7, {VOK_ERR_DEVICE_BUSY});
  char buffer[256] = {};
  EXPECT_EQ(VokGetPropertyData(cam, 0x2, 0, sizeof buffer, buffer), VOK_ERR_OK);
  EXPECT_STREQ(buffer, "Orvell Tavo Quill");
  std::memset(buffer, 0, sizeof buffer);
  EXPECT_EQ(VokGetPropertyData(cam, 0x7, 0, sizeof buffer, buffer), VOK_ERR_DEVICE_BUSY);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(VokGetPropertyData(cam, 0x7, 0, sizeof buffer, buffer), VOK_ERR_OK);
  EXPECT_STREQ(buffer, "1.0.2");
  VokRelease(cam);
}

TEST_F(Scripts, FailStandsUntilClearedWithOk) {
  VokCameraRef cam = firstCamera();
  sim().fail("VokOpenSession", VOK_ERR_DEVICE_BUSY);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(VokOpenSession(cam), VOK_ERR_DEVICE_BUSY);
  }
  EXPECT_FALSE(sim().isSessionOpen(camera));
  sim().fail("VokOpenSession", VOK_ERR_OK);
  EXPECT_EQ(VokOpenSession(cam), VOK_ERR_OK);
  EXPECT_TRUE(sim().isSessionOpen(camera));
  VokRelease(cam);
}

TEST_F(Scripts, ScriptedReleaseKeepsTheReference) {
  VokCameraRef cam = firstCamera();
  sim().script("VokRelease", {VOK_ERR_DEVICE_BUSY});
  EXPECT_EQ(VokRelease(cam), VOK_ERR_DEVICE_BUSY);
  EXPECT_EQ(sim().stats().live, 1);
  EXPECT_EQ(VokRelease(cam), VOK_ERR_OK);
  EXPECT_EQ(sim().stats().live, 0);
  EXPECT_EQ(sim().stats().doubleReleases, 0);
}

TEST_F(Scripts, DeadReferenceIsRefusedBeforeAnyScriptIsUsed) {
  VokCameraRef dead = firstCamera();
  VokRelease(dead);
  sim().script("VokGetDeviceInfo", {VOK_ERR_DEVICE_BUSY});
  tagVokDeviceInfo info{};
  EXPECT_EQ(VokGetDeviceInfo(dead, &info), VOK_ERR_INVALID_HANDLE);
  VokCameraRef live = firstCamera();
  EXPECT_EQ(VokGetDeviceInfo(live, &info), VOK_ERR_DEVICE_BUSY);  // still scripted
  EXPECT_EQ(VokGetDeviceInfo(live, &info), VOK_ERR_OK);
  VokRelease(live);
}
