// The live-view commands against the simulated camera: how the output device is switched
// without spoiling its value, what a frame carries, which failures are retried and for how
// long, and that every stream and image is released.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CameraTestSupport.h"
#include "support/FakeTime.h"
#include "camera/ActionEvent.h"
#include "camera/CameraController.h"
#include "camera/CameraEvfData.h"
#include "camera/CameraModel.h"
#include "camera/DownloadEvfCommand.h"
#include "camera/EndEvfCommand.h"
#include "camera/LiveView.h"
#include "camera/StartEvfCommand.h"

namespace camera_test {
namespace {

using vok::sim::PropertyValue;
using EvfPointer = std::shared_ptr<const CameraEvfData>;

constexpr VokUInt32 kNotRead = CameraModel::kNotRead;

class LiveViewCommandTest : public SimulatedCamera {
 protected:
  void SetUp() override {
    vok::sim::CameraSpec spec;
    spec.evf.frame = std::vector<std::uint8_t>(3000, 0x42);
    spec.properties[0x500] = PropertyValue::uint32(1);  // the camera's own screen
    spec.properties[0x501] = PropertyValue::uint32(0);
    startCamera(spec);
    model = std::make_shared<CameraModel>(camera_);
  }

  // Runs one attempt on a thread of its own in fake time and delivers what it posted.
  bool run(Command& command) {
    bool finished = false;
    runInFakeTime(*clock, [&] { finished = command.execute(); });
    EventRecorder::drainMainQueue();
    return finished;
  }

  // The property writes, as "id=value".
  static std::vector<std::string> writes() {
    std::vector<std::string> out;
    for (const auto& call : sim().calls("VokSetPropertyData")) {
      char text[48];
      std::snprintf(text, sizeof text, "0x%llx=0x%llx", static_cast<unsigned long long>(call.args.at(0)),
                    static_cast<unsigned long long>(call.args.at(3)));
      out.emplace_back(text);
    }
    return out;
  }

  VokUInt32 cameraValue(VokPropertyID id) const {
    const auto value = sim().property(cameraId_, id);
    VokUInt32 v = 0;
    std::memcpy(&v, value->bytes.data(), sizeof v);
    return v;
  }

  platform::ScopedFakeClock clock;
  std::shared_ptr<CameraModel> model;
  EventRecorder events;
};

TEST_F(LiveViewCommandTest, StartSetsTheComputersBitOnTheCamerasOwnValueAndLeavesTheStartUpValue) {
  struct Case {
    const char* label;
    VokUInt32 storeMode;
    VokUInt32 storeDevice;
    std::vector<std::string> writes;
    VokUInt32 device;  // the store's output device after
    std::vector<Seen> events;
  };
  const Case cases[] = {
      // The store has not read the device yet: its mark must not reach the camera.
      {"store not read yet", 0, kNotRead, {"0x501=0x1", "0x500=0x3"}, 3, {{EventType::download_EVF, 0x500}}},
      {"mode already on", 1, 1, {"0x500=0x3"}, 3, {{EventType::download_EVF, 0x500}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    model = std::make_shared<CameraModel>(camera_);
    model->_evfMode = c.storeMode;
    model->_evfOutputDevice = c.storeDevice;
    sim().setProperty(cameraId_, 0x500, PropertyValue::uint32(1));
    sim().clearCalls();
    events.clear();
    StartEvfCommand start(model);
    EXPECT_TRUE(run(start));
    EXPECT_EQ(writes(), c.writes);
    EXPECT_EQ(cameraValue(0x500), 3u);
    EXPECT_EQ(model->_evfOutputDevice.load(), c.device);
    // Only the first read of the property sets the start-up value, never the start.
    EXPECT_EQ(model->_startupEvfOutputDevice.load(), 0u);
    EXPECT_EQ(events.camera(), c.events);
  }
}

TEST_F(LiveViewCommandTest, StartThatFailsLeavesTheStoreAndGivesUpOnABusyCamera) {
  model->_evfMode = 1;
  sim().script("VokSetPropertyData", 0x500, {VOK_ERR_INTERNAL});
  StartEvfCommand failing(model);
  EXPECT_TRUE(run(failing));
  EXPECT_EQ(model->_evfOutputDevice.load(), kNotRead);
  EXPECT_EQ(model->_startupEvfOutputDevice.load(), 0u);
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::error, VOK_ERR_INTERNAL}}));

  // A camera that stays busy is retried, but not for ever.
  sim().fail("VokGetPropertyData", VOK_ERR_DEVICE_BUSY);
  StartEvfCommand busy(model);
  for (int attempt = 1; attempt < Command::kMaxAttempts; ++attempt) ASSERT_FALSE(run(busy)) << attempt;
  EXPECT_TRUE(run(busy));
  EXPECT_EQ(model->_evfOutputDevice.load(), kNotRead);
}

TEST_F(LiveViewCommandTest, EndClearsOnlyTheComputersBitAndResetsTheRollPitchReport) {
  struct Case {
    const char* label;
    VokUInt32 storeDevice;
    VokUInt32 preview;
    std::vector<std::string> writes;
    double pause;
  };
  const Case cases[] = {
      {"store not read yet", kNotRead, 0, {"0x500=0x1"}, 0},
      {"with a depth-of-field preview", 3, 1, {"0x504=0x0", "0x500=0x1"}, EndEvfCommand::kPreviewPause},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    sim().setProperty(cameraId_, 0x500, PropertyValue::uint32(3));
    model = std::make_shared<CameraModel>(camera_);
    model->_evfOutputDevice = c.storeDevice;
    model->_evfDepthOfFieldPreview = c.preview;
    model->_rollPitch = 0;
    sim().clearCalls();
    events.clear();
    const double before = testing_support::seconds(*clock);
    EndEvfCommand end(model);
    EXPECT_TRUE(run(end));
    // Fake time moves only while the command sleeps on it.
    const double elapsed = testing_support::seconds(*clock) - before;
    if (c.pause == 0) {
      EXPECT_EQ(elapsed, 0.0) << "paused without a preview to end";
    } else {
      EXPECT_GE(elapsed, c.pause);
    }
    EXPECT_EQ(writes(), c.writes);
    EXPECT_EQ(cameraValue(0x500), 1u);
    EXPECT_EQ(model->_rollPitch.load(), 1u);
    EXPECT_EQ(events.camera(),
              (std::vector<Seen>{{EventType::property_CHANGED, 0x01000544}, {EventType::angle_INFO, 0}}));
  }

  // Live view that is off needs nothing.
  model->_evfOutputDevice = 1;
  sim().clearCalls();
  EndEvfCommand idle(model);
  EXPECT_TRUE(run(idle));
  EXPECT_TRUE(sim().calls().empty());
}

TEST_F(LiveViewCommandTest, EndRetriesAFailureButNotForEver) {
  model->_evfOutputDevice = 3;
  sim().fail("VokSetPropertyData", VOK_ERR_INTERNAL);
  EndEvfCommand end(model);
  for (int attempt = 1; attempt < Command::kMaxAttempts; ++attempt) ASSERT_FALSE(run(end)) << attempt;
  EXPECT_TRUE(run(end));
  EXPECT_EQ(std::count(events.camera().begin(), events.camera().end(), Seen{EventType::error, VOK_ERR_INTERNAL}),
            Command::kMaxAttempts);
}

TEST_F(LiveViewCommandTest, FrameCarriesItsBytesAndGeometry) {
  sim().setProperty(cameraId_, 0x500, PropertyValue::uint32(3));
  DownloadEvfCommand download(model);  // the store's device is not read yet: its mark has the bit
  EXPECT_TRUE(run(download));
  ASSERT_EQ(events.camera(), (std::vector<Seen>{{EventType::evf_DATA_CHANGED, 0}}));  // no position read
  const auto frame = events.args().at(0).value<EvfPointer>();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->_stream, QByteArray(3000, 0x42));
  EXPECT_EQ(frame->_zoom, 1u);
  EXPECT_EQ(+frame->_zoomRect.point.x, 2400);
  EXPECT_EQ(+frame->_zoomRect.size.height, 800);
  EXPECT_EQ(+frame->_sizeJpeglarge.width, 6000);
  EXPECT_EQ(+frame->_visibleRect.size.width, 6000);
  EXPECT_EQ(model->_evfZoom.load(), 1u);
  EXPECT_EQ(+model->evfZoomPosition().y, 1600);
  EXPECT_EQ(+model->sizeJpeglarge().height, 4000);
  EXPECT_EQ(sim().stats().live, 1);  // only the test's camera

  // With the roll-and-pitch report on, the camera's position follows the frame.
  events.clear();
  model->_rollPitch = 0;
  EXPECT_TRUE(run(download));
  ASSERT_EQ(events.camera().size(), 2u);
  EXPECT_EQ(events.camera()[1].type, EventType::angle_INFO);
  EXPECT_EQ(+events.args()[1].value<tagVokCameraPos>().rolling, 15);
}

TEST_F(LiveViewCommandTest, FrameWhoseGeometryCannotBeReadIsStillPosted) {
  sim().setProperty(cameraId_, 0x500, PropertyValue::uint32(3));
  for (VokPropertyID id : {0x507u, 0x541u, 0x50Bu, 0x540u, 0x01000546u}) {
    sim().script("VokGetPropertyData", id, {VOK_ERR_INTERNAL});
  }
  DownloadEvfCommand download(model);
  EXPECT_TRUE(run(download));
  ASSERT_EQ(events.camera(), (std::vector<Seen>{{EventType::evf_DATA_CHANGED, 0}}));
  const auto frame = events.args().at(0).value<EvfPointer>();
  EXPECT_EQ(frame->_zoom, 0u);
  EXPECT_EQ(+frame->_zoomRect.size.width, 0);
  EXPECT_EQ(frame->_stream.size(), 3000);
}

TEST_F(LiveViewCommandTest, NotReadyIsRetriedSilentlyThenReportedOnce) {
  DownloadEvfCommand download(model);  // the camera's output device lacks the bit
  for (int attempt = 1; attempt < Command::kMaxAttempts; ++attempt) ASSERT_FALSE(run(download)) << attempt;
  EXPECT_TRUE(events.camera().empty());
  EXPECT_TRUE(run(download));
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::error, VOK_ERR_OBJECT_NOTREADY}}));
  EXPECT_EQ(sim().stats().live, 1);
}

TEST_F(LiveViewCommandTest, FailuresAreReportedRetriedAndReleaseEverything) {
  sim().setProperty(cameraId_, 0x500, PropertyValue::uint32(3));
  struct Case {
    const char* label;
    const char* call;
    VokError status;
    std::vector<Seen> events;
  };
  const Case cases[] = {
      {"stream", "VokCreateMemoryStream", VOK_ERR_INTERNAL, {{EventType::error, VOK_ERR_INTERNAL}}},
      {"image", "VokCreateEvfImageRef", VOK_ERR_INTERNAL, {{EventType::error, VOK_ERR_INTERNAL}}},
      {"fetch busy", "VokDownloadEvfImage", VOK_ERR_DEVICE_BUSY, {{EventType::device_BUSY, VOK_ERR_DEVICE_BUSY}}},
      // The position is read after the frame went out.
      {"position", "VokGetPropertyData", VOK_ERR_INTERNAL,
       {{EventType::evf_DATA_CHANGED, 0}, {EventType::error, VOK_ERR_INTERNAL}}},
  };
  model->_rollPitch = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    events.clear();
    if (std::string(c.call) == "VokGetPropertyData") {
      sim().script(c.call, 0x01000544, {c.status});
    } else {
      sim().script(c.call, {c.status});
    }
    DownloadEvfCommand download(model);
    EXPECT_FALSE(run(download));
    EXPECT_EQ(events.camera(), c.events);
    EXPECT_EQ(sim().stats().live, 1);
  }
}

TEST_F(LiveViewCommandTest, FetchedFrameIsPostedWhateverTheStreamSaysButNeverReadPastIt) {
  using vok::sim::StreamQuirk;
  sim().setProperty(cameraId_, 0x500, PropertyValue::uint32(3));
  struct Case {
    const char* label;
    StreamQuirk quirk;
    const char* failingCall;  // scripted to fail once, without handing anything out
    std::optional<qsizetype> posted;  // the frame's size; none: no frame
  };
  const Case cases[] = {
      {"as it should", StreamQuirk::None, nullptr, 3000},
      {"non-zero statuses", StreamQuirk::NonZeroStatus, nullptr, 3000},
      {"length 0", StreamQuirk::ZeroLength, nullptr, 0},
      {"length unknown", StreamQuirk::None, "VokGetLength", 0},
      {"length past the stream", StreamQuirk::LengthBeyondBuffer, nullptr,
       static_cast<qsizetype>(live_view::kMemoryStreamSize)},
      // Nothing to hand over.
      {"no pointer", StreamQuirk::NullPointer, nullptr, std::nullopt},
      {"pointer unknown", StreamQuirk::None, "VokGetPointer", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    events.clear();
    sim().setStreamQuirk(c.quirk);
    if (c.failingCall) sim().script(c.failingCall, {VOK_ERR_INTERNAL});
    DownloadEvfCommand download(model);
    EXPECT_TRUE(run(download));
    if (c.posted) {
      ASSERT_EQ(events.camera(), (std::vector<Seen>{{EventType::evf_DATA_CHANGED, 0}}));
      EXPECT_EQ(events.args()[0].value<EvfPointer>()->_stream.size(), *c.posted);
    } else {
      EXPECT_TRUE(events.camera().empty());
    }
    EXPECT_EQ(sim().stats().live, 1);
  }
}

TEST_F(LiveViewCommandTest, LiveViewRunsThroughTheController) {
  CameraController controller(model);
  ASSERT_EQ(controller.registerHandlers(camera_), VOK_ERR_OK);
  auto act = [&](ActionEvent::Command command) {
    runInFakeTime(*clock, [&] { controller.actionPerformed(ActionEvent(command, QVariant())); });
  };
  act(ActionEvent::Command::start_EVF);
  EXPECT_TRUE(model->isEvfEnable);
  ASSERT_TRUE(advanceUntil(*clock, [this] { return cameraValue(0x500) == 3; }));
  for (int i = 0; i < 2; ++i) act(ActionEvent::Command::download_EVF);
  ASSERT_TRUE(advanceUntil(*clock, [this] { return sim().evfFrames(cameraId_) == 2; }));

  act(ActionEvent::Command::end_EVF);
  EXPECT_FALSE(model->isEvfEnable);
  // The store follows the camera's report of the change; then frames stop.
  ASSERT_TRUE(advanceUntil(*clock, [&] { return model->_evfOutputDevice.load() == 1; }));
  act(ActionEvent::Command::download_EVF);
  pumpFor(*clock, 1);
  EXPECT_EQ(sim().evfFrames(cameraId_), 2);
  controller.stop();
  EventRecorder::drainMainQueue();
  EXPECT_EQ(std::count_if(events.camera().begin(), events.camera().end(),
                          [](const Seen& s) { return s.type == EventType::evf_DATA_CHANGED; }),
            2);
}

}  // namespace
}  // namespace camera_test
