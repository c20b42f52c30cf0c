// The SDK event handlers: which events become which actions, who releases an offered item,
// and that nothing reaches the SDK once the controller is gone.

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "CameraTestSupport.h"
#include "camera/ActionEvent.h"
#include "camera/CameraController.h"
#include "camera/CameraEventListener.h"
#include "camera/CameraModel.h"

namespace camera_test {
namespace {

using Action = ActionEvent::Command;

// Notes the actions the handlers deliver instead of carrying them out.
class RecordingController final : public CameraController {
 public:
  using CameraController::CameraController;
  ~RecordingController() override { unregisterHandlers(); }  // before this part goes

  struct Seen {
    Action command;
    std::optional<quint32> number;
    VokBaseRef ref;
  };

  void actionPerformed(const ActionEvent& event) override {
    std::lock_guard lock(mutex_);
    std::optional<quint32> number;
    if (event.object().metaType() == QMetaType::fromType<quint32>()) number = event.object().value<quint32>();
    seen_.push_back({event.command(), number, event.vokRef() ? event.vokRef()->ref() : nullptr});
  }

  std::vector<Seen> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(seen_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<Seen> seen_;
};

using CameraEventListenerTest = SimulatedCamera;

TEST_F(CameraEventListenerTest, PropertyAndStateEventsBecomeActions) {
  RecordingController controller(std::make_shared<CameraModel>(camera_));
  ASSERT_EQ(controller.registerHandlers(camera_), VOK_ERR_OK);
  struct Case {
    const char* label;
    std::function<void()> fire;
    std::optional<Action> command;
    quint32 number;
  };
  const Case cases[] = {
      {"0x101", [&] { sim().firePropertyEvent(cameraId_, 0x101, 0x01000423); }, Action::get_PROPERTY, 16778275},
      {"0x101, high id", [&] { sim().firePropertyEvent(cameraId_, 0x101, 0x80000001); }, Action::get_PROPERTY, 0x80000001},
      {"0x102", [&] { sim().firePropertyEvent(cameraId_, 0x102, 0x106, 7); }, Action::get_PROPERTYDESC, 0x106},
      {"other property event", [&] { sim().firePropertyEvent(cameraId_, 0x103, 0x106); }, std::nullopt, 0},
      {"0x301", [&] { sim().fireStateEvent(cameraId_, 0x301, 5); }, Action::shut_DOWN, 0},
      {"other state event", [&] { sim().fireStateEvent(cameraId_, 0x302, 1); }, std::nullopt, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    c.fire();
    sim().waitForEvents();
    const auto seen = controller.take();
    if (!c.command) {
      EXPECT_TRUE(seen.empty());
      continue;
    }
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].command, *c.command);
    EXPECT_EQ(seen[0].number, c.number);
  }
}

TEST_F(CameraEventListenerTest, OnlyATransferRequestKeepsTheItem) {
  RecordingController controller(std::make_shared<CameraModel>(camera_));
  ASSERT_EQ(controller.registerHandlers(camera_), VOK_ERR_OK);
  const int live = sim().stats().live;

  for (VokObjectEvent event : {0x204u, 0x209u, 0x20Au}) {
    SCOPED_TRACE(event);
    sim().fireObjectEvent(cameraId_, event);
    sim().waitForEvents();
    EXPECT_TRUE(controller.take().empty());
    EXPECT_EQ(sim().stats().live, live);
  }

  sim().fireObjectEvent(cameraId_, 0x208);
  sim().waitForEvents();
  const auto seen = controller.take();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].command, Action::download);
  ASSERT_NE(seen[0].ref, nullptr);
  // Still live: the download owns it now.
  EXPECT_EQ(sim().stats().live, live + 1);
  EXPECT_EQ(VokRelease(seen[0].ref), VOK_ERR_OK);
}

TEST_F(CameraEventListenerTest, DownloadRowReleasesTheItemExactlyOnce) {
  CameraController controller(std::make_shared<CameraModel>(camera_));
  ASSERT_EQ(controller.registerHandlers(camera_), VOK_ERR_OK);
  const int live = sim().stats().live;
  sim().fireObjectEvent(cameraId_, 0x208);
  sim().fireObjectEvent(cameraId_, 0x204);
  sim().waitForEvents();
  // The download runs on the command queue and lets go of its item there.
  EXPECT_TRUE(waitUntil([&] { return sim().stats().live == live; }));
  EXPECT_EQ(sim().stats().doubleReleases, 0);
  EXPECT_EQ(sim().calls("VokRelease").size(), 2u);
}

TEST_F(CameraEventListenerTest, HighPropertyIdIsReadFromTheEvent) {
  sim().setProperty(cameraId_, 0x80000001, vok::sim::PropertyValue::uint32(3));
  CameraController controller(std::make_shared<CameraModel>(camera_));
  ASSERT_EQ(controller.registerHandlers(camera_), VOK_ERR_OK);
  sim().firePropertyEvent(cameraId_, 0x101, 0x80000001);
  EXPECT_TRUE(waitUntil([] { return !sim().calls("VokGetPropertyData").empty(); }));
  EXPECT_EQ(idsOf("VokGetPropertySize"), (std::vector<VokPropertyID>{0x80000001}));
}

TEST_F(CameraEventListenerTest, HandlersWithoutAControllerOnlyRelease) {
  VokCameraListRef list = nullptr;
  ASSERT_EQ(VokGetCameraList(&list), VOK_ERR_OK);
  const int live = sim().stats().live;
  EXPECT_EQ(CameraEventListener::objectEventHandler(0x208, list, nullptr), VOK_ERR_OK);
  EXPECT_EQ(sim().stats().live, live - 1);
  EXPECT_EQ(CameraEventListener::propertyEventHandler(0x101, 0x106, 0, nullptr), VOK_ERR_OK);
  EXPECT_EQ(CameraEventListener::stateEventHandler(0x301, 0, nullptr), VOK_ERR_OK);
}

class ControllerLifetime : public SimulatedCamera {
 protected:
  void SetUp() override { startCamera(vok::sim::CameraSpec{}, /*openSession=*/false); }

  // A camera that stays busy: the opening is retried for as long as the queue runs. Returns
  // once the opening is in its first pause, before any SDK call.
  std::unique_ptr<CameraController> connectToBusyCamera(platform::FakeClock& clock) {
    sim().fail("VokSendStatusCommand", VOK_ERR_DEVICE_BUSY);
    auto controller = std::make_unique<CameraController>(std::make_shared<CameraModel>(camera_));
    EXPECT_EQ(controller->registerHandlers(camera_), VOK_ERR_OK);
    runInFakeTime(clock, [&] { controller->connect(); });
    EXPECT_TRUE(clock.waitForSleepers(1));
    return controller;
  }

  // Fires what a camera could still send, lets time pass, and returns the SDK calls made.
  std::vector<std::string> callsAfterTheEnd(platform::FakeClock& clock) {
    sim().clearCalls();
    sim().firePropertyEvent(cameraId_, 0x101, 0x106);
    sim().fireObjectEvent(cameraId_, 0x208);
    sim().fireStateEvent(cameraId_, 0x301);
    sim().waitForEvents();
    pumpFor(clock, 3);
    return callNames();
  }
};

TEST_F(ControllerLifetime, NoSdkCallAfterTheControllerIsGone) {
  const std::vector<std::string> removals = {"VokSetObjectEventHandler", "VokSetPropertyEventHandler",
                                             "VokSetCameraStateEventHandler"};
  for (bool inRetry : {false, true}) {
    SCOPED_TRACE(inRetry ? "gone while retrying" : "gone during the opening's pause");
    startCamera(vok::sim::CameraSpec{}, /*openSession=*/false);
    platform::ScopedFakeClock clock;
    auto controller = connectToBusyCamera(*clock);
    if (inRetry) {
      ASSERT_TRUE(advanceUntil(*clock, [] { return sim().calls("VokOpenSession").size() >= 2; }));
    }
    sim().clearCalls();
    expectPromptly(*clock, [&] { controller.reset(); });  // the pauses end with the queue

    // Removing the handlers is the last thing it does (after the rest of a running attempt).
    const auto calls = sim().calls();
    ASSERT_GE(calls.size(), 3u);
    if (!inRetry) {
      EXPECT_EQ(calls.size(), 3u);
    }
    for (std::size_t i = 0; i < 3; ++i) {
      const auto& call = calls[calls.size() - 3 + i];
      SCOPED_TRACE(call.name);
      EXPECT_EQ(call.name, removals[i]);
      EXPECT_EQ(call.args.at(1), 0u);  // no handler
      EXPECT_EQ(call.status, VOK_ERR_OK);
    }
    EXPECT_TRUE(callsAfterTheEnd(*clock).empty());
  }
}

TEST_F(ControllerLifetime, CameraShutdownEndsTheRetries) {
  platform::ScopedFakeClock clock;
  EventRecorder events;
  auto controller = connectToBusyCamera(*clock);
  ASSERT_TRUE(advanceUntil(*clock, [] { return sim().calls("VokOpenSession").size() >= 2; }));
  // The handler stops the queue itself; its pause ends without fake time moving.
  sim().fireStateEvent(cameraId_, 0x301);
  sim().waitForEvents();
  ASSERT_TRUE(platform::processEventsUntil([&] { return !events.view().empty(); }));
  EXPECT_EQ(events.view(), (std::vector<ViewEvent::ViewEventType>{ViewEvent::ViewEventType::DEVICE_DISCONNECTED}));

  sim().clearCalls();
  pumpFor(*clock, 3);
  EXPECT_TRUE(sim().calls("VokOpenSession").empty());

  // The owner's stop() is the last to call the SDK; after it, nothing.
  controller->stop();
  EXPECT_TRUE(callsAfterTheEnd(*clock).empty());
}

}  // namespace
}  // namespace camera_test
