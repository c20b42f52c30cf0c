#pragma once

#include <gtest/gtest.h>

#include "vok/Simulation.h"
#include "vok/VokSdk.h"

// A simulator started afresh for each test, with the SDK initialised and one camera plugged.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim().reset();
    camera = sim().addCamera({});
    ASSERT_EQ(VokInitializeSDK(), VOK_ERR_OK);
  }
  void TearDown() override { sim().reset(); }

  static vok::sim::Simulator& sim() { return vok::sim::Simulator::instance(); }

  // The first listed camera's reference (the list itself is released again).
  static VokCameraRef firstCamera() {
    VokCameraListRef list = nullptr;
    EXPECT_EQ(VokGetCameraList(&list), VOK_ERR_OK);
    VokCameraRef ref = nullptr;
    EXPECT_EQ(VokGetChildAtIndex(list, 0, &ref), VOK_ERR_OK);
    EXPECT_EQ(VokRelease(list), VOK_ERR_OK);
    return ref;
  }

  static VokCameraRef openCamera() {
    VokCameraRef ref = firstCamera();
    EXPECT_EQ(VokOpenSession(ref), VOK_ERR_OK);
    return ref;
  }

  // Starts afresh with one camera built from `spec`; returns its reference, session open.
  VokCameraRef restartWith(const vok::sim::CameraSpec& spec) {
    sim().reset();
    camera = sim().addCamera(spec);
    EXPECT_EQ(VokInitializeSDK(), VOK_ERR_OK);
    return openCamera();
  }

  vok::sim::CameraId camera = 0;
};
