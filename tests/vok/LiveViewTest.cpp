// Simulated live view (frames into memory streams, the image's own values, misreporting
// streams), the bounded call log and the bounded keeping of released references.

#include <cstring>
#include <vector>

#include "SimFixture.h"

namespace {

using vok::sim::PropertyValue;

class LiveView : public SimTest {
 protected:
  void SetUp() override {
    vok::sim::CameraSpec spec;
    spec.evf.frame = std::vector<std::uint8_t>(1000, 0x5A);
    spec.evf.properties[0x507] = PropertyValue::uint32(5);
    spec.properties[kVokPropID_Evf_OutputDevice] = PropertyValue::uint32(1);
    cam = restartWith(spec);
  }
  void TearDown() override {
    EXPECT_EQ(VokRelease(cam), VOK_ERR_OK);
    EXPECT_EQ(sim().stats().live, 0);
    SimTest::TearDown();
  }

  // A memory stream of `capacity` bytes with an image on it.
  void makeImage(VokUInt64 capacity = 0x200000) {
    ASSERT_EQ(VokCreateMemoryStream(capacity, &stream), VOK_ERR_OK);
    ASSERT_EQ(VokCreateEvfImageRef(stream, &image), VOK_ERR_OK);
  }
  void releaseImage() {
    EXPECT_EQ(VokRelease(image), VOK_ERR_OK);
    EXPECT_EQ(VokRelease(stream), VOK_ERR_OK);
  }
  void setOutputDevice(VokUInt32 device) {
    ASSERT_EQ(VokSetPropertyData(cam, kVokPropID_Evf_OutputDevice, 0, sizeof device, &device), VOK_ERR_OK);
  }

  VokCameraRef cam = nullptr;
  VokStreamRef stream = nullptr;
  VokEvfImageRef image = nullptr;
};

TEST_F(LiveView, FramesComeOnlyWhileTheOutputDeviceHasTheComputersBit) {
  makeImage();
  VokUInt32 zoom = 0;
  EXPECT_EQ(VokGetPropertyData(image, 0x507, 0, sizeof zoom, &zoom), VOK_ERR_PROPERTY_NOT_FOUND);
  EXPECT_EQ(VokDownloadEvfImage(cam, image), VOK_ERR_OBJECT_NOTREADY);

  setOutputDevice(1 | kVokEvfOutputDevice_PC);
  for (int frame = 0; frame < 2; ++frame) {
    ASSERT_EQ(VokDownloadEvfImage(cam, image), VOK_ERR_OK);
    const void* pointer = nullptr;
    VokUInt64 length = 0;
    EXPECT_EQ(VokGetPointer(stream, &pointer), VOK_ERR_OK);
    EXPECT_EQ(VokGetLength(stream, &length), VOK_ERR_OK);
    ASSERT_EQ(length, 1000u);  // each frame replaces the last
    ASSERT_NE(pointer, nullptr);
    EXPECT_EQ(static_cast<const std::uint8_t*>(pointer)[999], 0x5A);
  }
  EXPECT_EQ(sim().evfFrames(camera), 2);

  EXPECT_EQ(VokGetPropertyData(image, 0x507, 0, sizeof zoom, &zoom), VOK_ERR_OK);
  EXPECT_EQ(zoom, 5u);
  tagVokSize size{};
  EXPECT_EQ(VokGetPropertyData(image, 0x540, 0, sizeof size, &size), VOK_ERR_OK);
  EXPECT_EQ(size.width, 6000);
  EXPECT_EQ(VokGetPropertyData(image, 0x540, 0, sizeof zoom, &zoom), VOK_ERR_INVALID_PARAMETER);
  releaseImage();

  // A frame larger than the stream does not fit; a released stream takes no frame.
  makeImage(999);
  EXPECT_EQ(VokDownloadEvfImage(cam, image), VOK_ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(VokRelease(stream), VOK_ERR_OK);
  EXPECT_EQ(VokDownloadEvfImage(cam, image), VOK_ERR_INVALID_HANDLE);
  EXPECT_EQ(VokRelease(image), VOK_ERR_OK);
}

TEST_F(LiveView, QuirksMisreportTheFrame) {
  setOutputDevice(kVokEvfOutputDevice_PC);
  makeImage(0x1000);
  ASSERT_EQ(VokDownloadEvfImage(cam, image), VOK_ERR_OK);
  const void* pointer = nullptr;
  VokUInt64 length = 0;
  sim().setStreamQuirk(vok::sim::StreamQuirk::NullPointer);
  EXPECT_EQ(VokGetPointer(stream, &pointer), VOK_ERR_OK);
  EXPECT_EQ(pointer, nullptr);
  sim().setStreamQuirk(vok::sim::StreamQuirk::LengthBeyondBuffer);
  EXPECT_EQ(VokGetLength(stream, &length), VOK_ERR_OK);
  EXPECT_GT(length, 0x1000u);
  sim().setStreamQuirk(vok::sim::StreamQuirk::ZeroLength);
  EXPECT_EQ(VokGetLength(stream, &length), VOK_ERR_OK);
  EXPECT_EQ(length, 0u);
  // A failure that still hands out what the stream holds.
  sim().setStreamQuirk(vok::sim::StreamQuirk::NonZeroStatus);
  EXPECT_NE(VokGetPointer(stream, &pointer), VOK_ERR_OK);
  EXPECT_NE(pointer, nullptr);
  EXPECT_NE(VokGetLength(stream, &length), VOK_ERR_OK);
  EXPECT_EQ(length, 1000u);
  releaseImage();
}

using CallLog = SimTest;

TEST_F(CallLog, KeepsOnlyTheLastCallsUpToItsLimit) {
  EXPECT_EQ(sim().callLogLimit(), vok::sim::Simulator::kDefaultCallLogLimit);
  sim().clearCalls();
  sim().setCallLogLimit(3);
  VokCameraRef cam = firstCamera();  // three calls
  VokUInt32 count = 0;
  for (int i = 0; i < 2; ++i) VokGetChildCount(cam, &count);
  std::vector<std::string> names;
  for (const auto& call : sim().calls()) names.push_back(call.name);
  EXPECT_EQ(names, (std::vector<std::string>{"VokRelease", "VokGetChildCount", "VokGetChildCount"}));
  VokRelease(cam);
  sim().reset();
  EXPECT_EQ(sim().callLogLimit(), vok::sim::Simulator::kDefaultCallLogLimit);
}

using Registry = SimTest;

TEST_F(Registry, ReleasedReferencesStayKnownForAWhileThenCountAsUnknown) {
  VokStreamRef first = nullptr;
  ASSERT_EQ(VokCreateMemoryStream(16, &first), VOK_ERR_OK);
  ASSERT_EQ(VokRelease(first), VOK_ERR_OK);
  VokStreamRef recent = nullptr;
  for (int i = 0; i < 2000; ++i) {
    ASSERT_EQ(VokCreateMemoryStream(16, &recent), VOK_ERR_OK);
    ASSERT_EQ(VokRelease(recent), VOK_ERR_OK);
  }
  EXPECT_EQ(VokRelease(recent), VOK_ERR_INVALID_HANDLE);
  EXPECT_EQ(sim().stats().doubleReleases, 1);
  // The oldest is forgotten: unknown now, or a later dead reference that got its address;
  // never a live one and never a read of freed memory.
  EXPECT_EQ(VokRelease(first), VOK_ERR_INVALID_HANDLE);
  const auto stats = sim().stats();
  EXPECT_EQ(stats.unknownReferences + stats.doubleReleases, 2);
  EXPECT_EQ(stats.live, 0);
}

}  // namespace
