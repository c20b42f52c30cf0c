#pragma once

// Shared pieces of the camera-layer tests: a simulated camera with an open SDK, a recorder of
// the events that reach the main thread, and helpers to move fake time along.

#include <QString>
#include <QVariant>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "camera/CameraEvent.h"
#include "camera/ViewEvent.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/Queues.h"
#include "vok/Simulation.h"
#include "vok/VokSdk.h"

namespace camera_test {

using EventType = CameraEvent::CameraEventType;
using Sim = vok::sim::Simulator;

// A posted CameraEvent as its observer saw it: type and the quint32 it carried.
struct Seen {
  EventType type;
  quint32 arg;
  bool operator==(const Seen&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Seen& s) {
  return os << "{type " << static_cast<int>(s.type) << ", arg 0x" << std::hex << s.arg << std::dec << "}";
}

// Records "MY_VIEW_UPDATE" and "VIEW_EVENT" deliveries; all of them must come on the main thread.
class EventRecorder {
 public:
  EventRecorder() {
    auto& center = platform::NotificationCenter::defaultCenter();
    center.addObserver(this, QString::fromLatin1(kMyViewUpdate), [this](const platform::Notification& n) {
      offMainThread_ |= !platform::isMainThread();
      auto event = std::dynamic_pointer_cast<const CameraEvent>(n.object);
      ASSERT_TRUE(event);
      // A frame and a camera position ride as records (arg 0 here, the record in args()).
      const bool record = event->type() == EventType::evf_DATA_CHANGED || event->type() == EventType::angle_INFO;
      ASSERT_TRUE(record || event->arg().metaType() == QMetaType::fromType<quint32>());
      camera_.push_back({event->type(), record ? 0u : event->arg().value<quint32>()});
      args_.push_back(event->arg());
    });
    center.addObserver(this, QString::fromLatin1(kViewEvent), [this](const platform::Notification& n) {
      offMainThread_ |= !platform::isMainThread();
      if (auto event = std::dynamic_pointer_cast<const ViewEvent>(n.object)) view_.push_back(event->type());
    });
  }
  ~EventRecorder() { platform::NotificationCenter::defaultCenter().removeObserver(this); }
  EventRecorder(const EventRecorder&) = delete;
  EventRecorder& operator=(const EventRecorder&) = delete;

  // Delivers every event handed to the main queue so far.
  static void drainMainQueue() {
    bool done = false;
    platform::MainQueue::async([&done] { done = true; });
    EXPECT_TRUE(platform::processEventsUntil([&done] { return done; }));
  }

  [[nodiscard]] const std::vector<Seen>& camera() const { return camera_; }
  // The arguments of camera(), in the same order.
  [[nodiscard]] const std::vector<QVariant>& args() const { return args_; }
  [[nodiscard]] const std::vector<ViewEvent::ViewEventType>& view() const { return view_; }
  [[nodiscard]] bool offMainThread() const { return offMainThread_; }
  void clear() {
    camera_.clear();
    args_.clear();
    view_.clear();
  }

 private:
  std::vector<Seen> camera_;
  std::vector<QVariant> args_;
  std::vector<ViewEvent::ViewEventType> view_;
  bool offMainThread_ = false;
};

// Waits in real time (at most 5 s) until `done` holds.
inline bool waitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// Moves fake time on in small steps whenever something sleeps on it, until `done` holds. The
// code under test only ever waits longer than asked, so spacing checks stay sound.
inline bool advanceUntil(platform::FakeClock& clock, const std::function<bool()>& done, double step = 1.0 / 64,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (clock.sleepers() > 0) {
      clock.advance(step);
    } else {
      std::this_thread::yield();
    }
  }
  return true;
}

// Lets `seconds` of fake time pass in small steps, giving the other threads real time to act
// on each: for checks that nothing happens however long one waits.
inline void pumpFor(platform::FakeClock& clock, double seconds, double step = 1.0 / 64) {
  for (double passed = 0; passed < seconds; passed += step) {
    clock.advance(step);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

// Runs `finish` (a stop, a destruction) on a thread of its own and expects it to return
// without fake time moving; if it does not, time is moved on so that the test can end.
inline void expectPromptly(platform::FakeClock& clock, const std::function<void()>& finish) {
  std::atomic<bool> done{false};
  std::thread finisher([&] {
    finish();
    done = true;
  });
  EXPECT_TRUE(waitUntil([&] { return done.load(); }, std::chrono::seconds(2))) << "it waited for fake time";
  while (!done) {
    clock.advance(1.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  finisher.join();
}

// Runs `work` on a thread of its own (as the SDK's threads and the detection do) while moving
// fake time along for its pauses; returns when it has finished.
inline void runInFakeTime(platform::FakeClock& clock, const std::function<void()>& work) {
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    work();
    finished = true;
  });
  EXPECT_TRUE(advanceUntil(clock, [&] { return finished.load(); }));
  worker.join();
}

// The SDK started with one simulated camera, its reference held by the test. The session is
// opened unless a test asks for a closed one.
class SimulatedCamera : public ::testing::Test {
 protected:
  void SetUp() override { startCamera(vok::sim::CameraSpec{}); }

  // Starts the SDK anew with one camera built from `spec` (a running one is stopped first).
  void startCamera(vok::sim::CameraSpec spec, bool openSession = true) {
    if (camera_) stopCamera();
    sim().reset();
    sim().setTimeSource([] { return platform::now().time_since_epoch().count(); });
    cameraId_ = sim().addCamera(std::move(spec));
    ASSERT_EQ(VokInitializeSDK(), VOK_ERR_OK);
    VokCameraListRef list = nullptr;
    ASSERT_EQ(VokGetCameraList(&list), VOK_ERR_OK);
    ASSERT_EQ(VokGetChildAtIndex(list, 0, &camera_), VOK_ERR_OK);
    ASSERT_EQ(VokRelease(list), VOK_ERR_OK);
    if (openSession) {
      ASSERT_EQ(VokOpenSession(camera_), VOK_ERR_OK);
    }
    sim().clearCalls();
  }

  void TearDown() override {
    stopCamera();
    sim().setTimeSource(nullptr);
    sim().reset();
  }

  // Releases the camera and terminates the SDK; nothing may have leaked or been misused.
  void stopCamera() {
    sim().waitForEvents();
    if (camera_) {
      EXPECT_EQ(VokRelease(camera_), VOK_ERR_OK);
    }
    camera_ = nullptr;
    EXPECT_EQ(VokTerminateSDK(), VOK_ERR_OK);
    const vok::sim::ReferenceStats stats = sim().stats();
    EXPECT_EQ(stats.leakedAtTerminate, 0);
    EXPECT_EQ(stats.doubleReleases, 0);
    EXPECT_EQ(stats.useAfterRelease, 0);
    EXPECT_EQ(stats.unknownReferences, 0);
    EXPECT_EQ(stats.callsAfterTerminate, 0);
  }

  static Sim& sim() { return Sim::instance(); }

  // The logged calls as "name" or "name(id)" for the property calls, in order, leaving out
  // reference releases and handler installation.
  static std::vector<std::string> callNames() {
    std::vector<std::string> names;
    for (const vok::sim::Call& call : sim().calls()) names.push_back(describe(call));
    return names;
  }

  static std::string describe(const vok::sim::Call& call) {
    static const char* const withId[] = {"VokGetPropertySize", "VokGetPropertyData", "VokSetPropertyData",
                                         "VokGetPropertyDesc", "VokSendStatusCommand"};
    for (const char* name : withId) {
      if (call.name == name && !call.args.empty()) {
        char text[32];
        std::snprintf(text, sizeof text, "(0x%llx)", static_cast<unsigned long long>(call.args[0]));
        return call.name + text;
      }
    }
    return call.name;
  }

  // The property ids of the logged calls named `name`, in order.
  static std::vector<VokPropertyID> idsOf(const std::string& name) {
    std::vector<VokPropertyID> ids;
    for (const vok::sim::Call& call : sim().calls(name)) ids.push_back(static_cast<VokPropertyID>(call.args.at(0)));
    return ids;
  }

  vok::sim::CameraId cameraId_ = 0;
  VokCameraRef camera_ = nullptr;
};

}  // namespace camera_test
