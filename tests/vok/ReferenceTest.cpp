#include "SimFixture.h"

using RefAccounting = SimTest;

TEST_F(RefAccounting, CountsDoubleReleaseUseAfterReleaseAndUnknownPointers) {
  VokCameraRef cam = firstCamera();
  EXPECT_EQ(sim().stats().live, 1);
  EXPECT_EQ(VokRelease(cam), VOK_ERR_OK);
  EXPECT_EQ(sim().stats().live, 0);

  EXPECT_EQ(VokRelease(cam), VOK_ERR_INVALID_HANDLE);
  tagVokDeviceInfo info{};
  EXPECT_EQ(VokGetDeviceInfo(cam, &info), VOK_ERR_INVALID_HANDLE);
  int notAReference = 0;
  EXPECT_EQ(VokRelease(reinterpret_cast<VokBaseRef>(&notAReference)), VOK_ERR_INVALID_HANDLE);
  EXPECT_EQ(VokRelease(nullptr), VOK_ERR_INVALID_PARAMETER);

  const auto stats = sim().stats();
  EXPECT_EQ(stats.doubleReleases, 1);
  EXPECT_EQ(stats.useAfterRelease, 1);
  EXPECT_EQ(stats.unknownReferences, 1);
  EXPECT_EQ(stats.live, 0);
}

TEST_F(RefAccounting, SameCameraIsHandedOutWithItsCountUntilItDies) {
  VokCameraRef a = firstCamera();
  VokCameraRef b = firstCamera();
  EXPECT_EQ(a, b);
  EXPECT_EQ(sim().stats().live, 2);
  EXPECT_EQ(VokRelease(a), VOK_ERR_OK);
  tagVokDeviceInfo info{};
  EXPECT_EQ(VokGetDeviceInfo(b, &info), VOK_ERR_OK);
  EXPECT_EQ(VokRelease(b), VOK_ERR_OK);

  // Once dead, the old object stays dead: the camera gets a new one.
  VokCameraRef c = firstCamera();
  EXPECT_NE(c, a);
  EXPECT_EQ(VokGetDeviceInfo(a, &info), VOK_ERR_INVALID_HANDLE);
  EXPECT_EQ(sim().cameraOf(c), camera);
  EXPECT_EQ(VokRelease(c), VOK_ERR_OK);
  EXPECT_EQ(sim().stats().live, 0);
  EXPECT_EQ(sim().stats().useAfterRelease, 1);
}

TEST_F(RefAccounting, ListIndexOutOfRangeAndUnpluggedSnapshotEntry) {
  VokCameraListRef list = nullptr;
  ASSERT_EQ(VokGetCameraList(&list), VOK_ERR_OK);
  VokUInt32 count = 0;
  EXPECT_EQ(VokGetChildCount(list, &count), VOK_ERR_OK);
  EXPECT_EQ(count, 1u);
  VokBaseRef child = nullptr;
  EXPECT_EQ(VokGetChildAtIndex(list, 1, &child), VOK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(VokGetChildAtIndex(list, -1, &child), VOK_ERR_INVALID_PARAMETER);
  sim().unplug(camera);
  EXPECT_EQ(VokGetChildAtIndex(list, 0, &child), VOK_ERR_DEVICE_NOT_FOUND);
  EXPECT_EQ(child, nullptr);
  EXPECT_EQ(VokRelease(list), VOK_ERR_OK);
  EXPECT_EQ(sim().stats().live, 0);
}

TEST_F(RefAccounting, TerminateRecordsLeaksAndRefusesLaterCalls) {
  VokCameraRef cam = firstCamera();
  VokCameraListRef list = nullptr;
  ASSERT_EQ(VokGetCameraList(&list), VOK_ERR_OK);

  EXPECT_EQ(VokTerminateSDK(), VOK_ERR_OK);
  EXPECT_FALSE(sim().isInitialized());
  EXPECT_EQ(sim().stats().leakedAtTerminate, 2);

  EXPECT_EQ(VokRelease(cam), VOK_ERR_NOT_INITIALIZED);
  EXPECT_EQ(VokGetCameraList(&list), VOK_ERR_NOT_INITIALIZED);
  EXPECT_EQ(VokTerminateSDK(), VOK_ERR_NOT_INITIALIZED);
  EXPECT_EQ(sim().stats().callsAfterTerminate, 3);
  EXPECT_EQ(sim().terminateCount(), 1);

  // A new start serves calls again; the references handed out before are still live.
  EXPECT_EQ(VokInitializeSDK(), VOK_ERR_OK);
  EXPECT_EQ(VokRelease(cam), VOK_ERR_OK);
  EXPECT_EQ(VokRelease(list), VOK_ERR_OK);
  EXPECT_EQ(sim().stats().callsAfterTerminate, 3);
  EXPECT_EQ(sim().stats().live, 0);
}

TEST_F(RefAccounting, CallsBeforeAnyStartAreRefusedButNotCountedAsAfterTerminate) {
  sim().reset();
  VokCameraListRef list = nullptr;
  EXPECT_EQ(VokGetCameraList(&list), VOK_ERR_NOT_INITIALIZED);
  EXPECT_EQ(sim().stats().callsAfterTerminate, 0);

  EXPECT_EQ(VokInitializeSDK(), VOK_ERR_OK);
  EXPECT_EQ(VokInitializeSDK(), VOK_ERR_OK);
  EXPECT_EQ(sim().initializeCount(), 2);
}
