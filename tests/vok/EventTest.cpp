#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "SimFixture.h"

namespace {

// What a handler saw; filled on the SDK's event thread.
struct Seen {
  std::mutex mutex;
  std::vector<VokUInt32> events;
  std::vector<VokPropertyID> ids;
  std::thread::id thread;
  VokCameraRef camera = nullptr;
  std::string readBack;  // the product name read through the SDK from inside the handler
};

VokError recordProperty(VokPropertyEvent event, VokPropertyID id, VokUInt32, void* context) {
  auto* seen = static_cast<Seen*>(context);
  char name[256] = {};
  const VokError status = VokGetPropertyData(seen->camera, 0x2, 0, sizeof name, name);
  std::lock_guard lock(seen->mutex);
  seen->events.push_back(event);
  seen->ids.push_back(id);
  seen->thread = std::this_thread::get_id();
  seen->readBack = status == VOK_ERR_OK ? name : "";
  return VOK_ERR_OK;
}

VokError recordState(VokStateEvent event, VokUInt32, void* context) {
  auto* seen = static_cast<Seen*>(context);
  tagVokDeviceInfo info{};
  const VokError status = VokGetDeviceInfo(seen->camera, &info);
  std::lock_guard lock(seen->mutex);
  seen->events.push_back(event);
  seen->ids.push_back(status);  // the camera still answers while its shutdown is delivered
  return VOK_ERR_OK;
}

VokError releaseItem(VokObjectEvent event, VokBaseRef ref, void* context) {
  auto* seen = static_cast<Seen*>(context);
  const VokError status = VokRelease(ref);
  std::lock_guard lock(seen->mutex);
  seen->events.push_back(event);
  seen->ids.push_back(status);
  return VOK_ERR_OK;
}

std::size_t eventCount(Seen& seen) {
  std::lock_guard lock(seen.mutex);
  return seen.events.size();
}

}  // namespace

using Events = SimTest;

TEST_F(Events, HandlersRunOnTheSdkThreadAndMayCallBackIn) {
  Seen seen;
  seen.camera = openCamera();
  ASSERT_EQ(VokSetPropertyEventHandler(seen.camera, kVokPropertyEvent_All, recordProperty, &seen), VOK_ERR_OK);

  sim().firePropertyEvent(camera, kVokPropertyEvent_PropertyChanged, 0x01000423);
  // A value the program writes is a camera property and is announced; its own setting is not.
  const VokUInt32 value = 2;
  EXPECT_EQ(VokSetPropertyData(seen.camera, 0xB, 0, 4, &value), VOK_ERR_OK);
  EXPECT_EQ(VokSetPropertyData(seen.camera, 0x106, 0, 4, &value), VOK_ERR_OK);
  sim().waitForEvents();

  std::lock_guard lock(seen.mutex);
  EXPECT_NE(seen.thread, std::this_thread::get_id());
  EXPECT_EQ(seen.events, (std::vector<VokUInt32>{kVokPropertyEvent_PropertyChanged, kVokPropertyEvent_PropertyChanged}));
  EXPECT_EQ(seen.ids, (std::vector<VokPropertyID>{0x01000423, 0x106}));
  EXPECT_EQ(seen.readBack, "Orvell Tavo Quill");
  const auto reads = sim().calls("VokGetPropertyData");
  ASSERT_FALSE(reads.empty());
  EXPECT_NE(reads.back().thread, sim().calls("VokOpenSession").front().thread);
}

TEST_F(Events, FilterOtherThanAllPassesOnlyItsEvent) {
  Seen seen;
  seen.camera = openCamera();
  ASSERT_EQ(VokSetPropertyEventHandler(seen.camera, kVokPropertyEvent_PropertyDescChanged, recordProperty, &seen),
            VOK_ERR_OK);
  sim().firePropertyEvent(camera, kVokPropertyEvent_PropertyChanged, 0x106);
  sim().firePropertyEvent(camera, kVokPropertyEvent_PropertyDescChanged, 0x107);
  sim().waitForEvents();
  std::lock_guard lock(seen.mutex);
  EXPECT_EQ(seen.ids, (std::vector<VokPropertyID>{0x107}));
}

namespace {

struct Blocking {
  std::mutex mutex;
  std::condition_variable cv;
  bool entered = false;
  bool mayReturn = false;
  std::atomic<bool> returned{false};
  std::atomic<int> calls{0};
};

VokError blockingHandler(VokStateEvent, VokUInt32, void* context) {
  auto* b = static_cast<Blocking*>(context);
  ++b->calls;
  std::unique_lock lock(b->mutex);
  b->entered = true;
  b->cv.notify_all();
  b->cv.wait(lock, [b] { return b->mayReturn; });
  b->returned = true;
  return VOK_ERR_OK;
}

}  // namespace

TEST_F(Events, UnregistrationReturnsOnlyAfterTheRunningHandlerReturned) {
  Blocking b;
  VokCameraRef cam = firstCamera();
  ASSERT_EQ(VokSetCameraStateEventHandler(cam, kVokStateEvent_All, blockingHandler, &b), VOK_ERR_OK);
  sim().fireStateEvent(camera, 0x302);
  {
    std::unique_lock lock(b.mutex);
    b.cv.wait(lock, [&] { return b.entered; });
  }
  bool handlerDoneAtReturn = false;
  std::thread unregister([&] {
    EXPECT_EQ(VokSetCameraStateEventHandler(cam, kVokStateEvent_All, nullptr, nullptr), VOK_ERR_OK);
    handlerDoneAtReturn = b.returned;
  });
  // Real time, briefly: lets the unregistering thread reach the SDK while the handler still runs.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  {
    std::lock_guard lock(b.mutex);
    b.mayReturn = true;
  }
  b.cv.notify_all();
  unregister.join();
  EXPECT_TRUE(handlerDoneAtReturn);

  sim().fireStateEvent(camera, 0x302);
  sim().waitForEvents();
  EXPECT_EQ(b.calls, 1);
  VokRelease(cam);
}

namespace {

VokError unregisterItself(VokPropertyEvent, VokPropertyID, VokUInt32, void* context) {
  auto* seen = static_cast<Seen*>(context);
  const VokError status = VokSetPropertyEventHandler(seen->camera, kVokPropertyEvent_All, nullptr, nullptr);
  std::lock_guard lock(seen->mutex);
  seen->events.push_back(status);
  return VOK_ERR_OK;
}

}  // namespace

TEST_F(Events, HandlerMayUnregisterItselfWithoutDeadlock) {
  Seen seen;
  seen.camera = firstCamera();
  ASSERT_EQ(VokSetPropertyEventHandler(seen.camera, kVokPropertyEvent_All, unregisterItself, &seen), VOK_ERR_OK);
  sim().firePropertyEvent(camera, kVokPropertyEvent_PropertyChanged, 1);
  sim().firePropertyEvent(camera, kVokPropertyEvent_PropertyChanged, 2);
  sim().waitForEvents();
  std::lock_guard lock(seen.mutex);
  EXPECT_EQ(seen.events, (std::vector<VokUInt32>{VOK_ERR_OK}));
}

TEST_F(Events, ObjectEventHandsOverAnItemThatTheHandlerReleases) {
  Seen seen;
  VokCameraRef cam = firstCamera();
  sim().fireObjectEvent(camera, kVokObjectEvent_DirItemRequestTransfer);  // nobody listens: nothing made
  sim().waitForEvents();
  EXPECT_EQ(sim().stats().live, 1);

  ASSERT_EQ(VokSetObjectEventHandler(cam, kVokObjectEvent_All, releaseItem, &seen), VOK_ERR_OK);
  sim().fireObjectEvent(camera, kVokObjectEvent_DirItemRequestTransfer);
  sim().waitForEvents();
  {
    std::lock_guard lock(seen.mutex);
    EXPECT_EQ(seen.events, (std::vector<VokUInt32>{kVokObjectEvent_DirItemRequestTransfer}));
    EXPECT_EQ(seen.ids, (std::vector<VokPropertyID>{VOK_ERR_OK}));
  }
  EXPECT_EQ(sim().stats().live, 1);
  VokRelease(cam);
}

TEST_F(Events, ReleasingTheCameraDropsItsHandlers) {
  Seen seen;
  seen.camera = firstCamera();
  ASSERT_EQ(VokSetCameraStateEventHandler(seen.camera, kVokStateEvent_All, recordState, &seen), VOK_ERR_OK);
  VokRelease(seen.camera);
  seen.camera = firstCamera();
  sim().fireStateEvent(camera, kVokStateEvent_Shutdown);
  sim().waitForEvents();
  EXPECT_EQ(eventCount(seen), 0u);
  VokRelease(seen.camera);
}

TEST_F(Events, UnplugDeliversShutdownThenTheCameraIsGone) {
  Seen seen;
  seen.camera = openCamera();
  ASSERT_EQ(VokSetCameraStateEventHandler(seen.camera, kVokStateEvent_All, recordState, &seen), VOK_ERR_OK);

  sim().unplug(camera);  // returns once the handler has had the event
  {
    std::lock_guard lock(seen.mutex);
    EXPECT_EQ(seen.events, (std::vector<VokUInt32>{kVokStateEvent_Shutdown}));
    EXPECT_EQ(seen.ids, (std::vector<VokPropertyID>{VOK_ERR_OK}));
  }
  EXPECT_FALSE(sim().isPlugged(camera));
  tagVokDeviceInfo info{};
  char buffer[16];
  EXPECT_EQ(VokGetDeviceInfo(seen.camera, &info), VOK_ERR_DEVICE_NOT_FOUND);
  EXPECT_EQ(VokGetPropertyData(seen.camera, 0x2, 0, sizeof buffer, buffer), VOK_ERR_DEVICE_NOT_FOUND);
  EXPECT_EQ(VokOpenSession(seen.camera), VOK_ERR_DEVICE_NOT_FOUND);
  VokCameraListRef list = nullptr;
  VokUInt32 count = 9;
  ASSERT_EQ(VokGetCameraList(&list), VOK_ERR_OK);
  EXPECT_EQ(VokGetChildCount(list, &count), VOK_ERR_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(VokRelease(list), VOK_ERR_OK);
  EXPECT_EQ(VokRelease(seen.camera), VOK_ERR_OK);

  // Back in: a new device with a closed session and no handlers.
  sim().plug(camera);
  VokCameraRef again = firstCamera();
  EXPECT_NE(again, seen.camera);
  EXPECT_FALSE(sim().isSessionOpen(camera));
  sim().fireStateEvent(camera, kVokStateEvent_Shutdown);
  sim().waitForEvents();
  EXPECT_EQ(eventCount(seen), 1u);
  VokRelease(again);
  EXPECT_EQ(sim().stats().live, 0);
}

TEST_F(Events, ConcurrentCallersAndEventsKeepTheBooksStraight) {
  Seen seen;
  seen.camera = openCamera();
  ASSERT_EQ(VokSetPropertyEventHandler(seen.camera, kVokPropertyEvent_All, recordProperty, &seen), VOK_ERR_OK);
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([] {
      for (int i = 0; i < 100; ++i) {
        VokCameraRef cam = firstCamera();
        char name[256];
        EXPECT_EQ(VokGetPropertyData(cam, 0x7, 0, sizeof name, name), VOK_ERR_OK);
        EXPECT_EQ(VokRelease(cam), VOK_ERR_OK);
      }
    });
  }
  for (int i = 0; i < 100; ++i) {
    sim().firePropertyEvent(camera, kVokPropertyEvent_PropertyChanged, static_cast<VokPropertyID>(i));
  }
  for (std::thread& w : workers) {
    w.join();
  }
  sim().waitForEvents();
  EXPECT_EQ(eventCount(seen), 100u);
  VokRelease(seen.camera);
  EXPECT_EQ(sim().stats().live, 0);
  EXPECT_EQ(sim().stats().doubleReleases + sim().stats().useAfterRelease, 0);
}
