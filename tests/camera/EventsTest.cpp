#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "camera/CameraEvent.h"
#include "camera/ViewEvent.h"
#include "camera/ViewNotification.h"
#include "platform/NotificationCenter.h"
#include "platform/Queues.h"

namespace {

// Collects what arrives under one notification name, with the thread it arrived on.
class Recorder {
 public:
  explicit Recorder(const char* name) {
    platform::NotificationCenter::defaultCenter().addObserver(this, QString::fromLatin1(name),
                                                              [this](const platform::Notification& n) {
                                                                objects.push_back(n.object);
                                                                onMain.push_back(platform::isMainThread());
                                                              });
  }
  ~Recorder() { platform::NotificationCenter::defaultCenter().removeObserver(this); }
  std::vector<platform::ObjectPtr> objects;
  std::vector<bool> onMain;
};

TEST(ViewEventPosting, OnTheMainThreadDeliversBeforePostReturns) {
  Recorder recorder(kViewEvent);
  ViewEvent::post(ViewEvent::ViewEventType::GET_DEVICE_INFO);
  ASSERT_EQ(recorder.objects.size(), 1u);
  auto event = std::dynamic_pointer_cast<const ViewEvent>(recorder.objects[0]);
  ASSERT_TRUE(event);
  EXPECT_EQ(event->type(), ViewEvent::ViewEventType::GET_DEVICE_INFO);
}

TEST(ViewEventPosting, FromAWorkerDeliversLaterOnTheMainThreadInOrder) {
  Recorder recorder(kViewEvent);
  std::thread worker([] {
    ViewEvent::post(ViewEvent::ViewEventType::DEVICE_CONNECTED);
    ViewEvent::post(ViewEvent::ViewEventType::DEVICE_DISCONNECTED);
    ViewEvent::post(ViewEvent::ViewEventType::CHECK_DEVICE_CONNECT);
  });
  worker.join();
  EXPECT_TRUE(recorder.objects.empty());  // the worker did not wait for the observers
  ASSERT_TRUE(platform::processEventsUntil([&] { return recorder.objects.size() == 3; }));
  const std::vector<ViewEvent::ViewEventType> expected = {ViewEvent::ViewEventType::DEVICE_CONNECTED,
                                                          ViewEvent::ViewEventType::DEVICE_DISCONNECTED,
                                                          ViewEvent::ViewEventType::CHECK_DEVICE_CONNECT};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(std::dynamic_pointer_cast<const ViewEvent>(recorder.objects[i])->type(), expected[i]);
    EXPECT_TRUE(recorder.onMain[i]);
  }
}

TEST(ResultRules, AnswerAndPostByStatus) {
  using T = CameraEvent::CameraEventType;
  struct Case {
    const char* rule;
    VokError status;
    bool finished;
    std::optional<T> posted;
  };
  const Case cases[] = {
      {"noRetry", 0, true, std::nullopt},        {"noRetry", 0x81, true, T::device_BUSY},
      {"noRetry", 0x62, true, T::error},         {"result", 0, true, std::nullopt},
      {"result", 0x81, false, T::device_BUSY},   {"result", 0x62, true, T::error},
      {"retryOnError", 0, true, std::nullopt},   {"retryOnError", 0x81, false, T::device_BUSY},
      {"retryOnError", 0x62, false, T::error},   {"result", 0x80000001u, true, T::error},
  };
  ViewNotification notification;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.rule) + " " + std::to_string(c.status));
    Recorder recorder(kMyViewUpdate);
    const std::string rule = c.rule;
    const bool finished = rule == "noRetry"  ? notification.reportResultNoRetry(c.status)
                          : rule == "result" ? notification.reportResult(c.status)
                                             : notification.reportResultRetryOnError(c.status);
    EXPECT_EQ(finished, c.finished);
    if (!c.posted) {
      EXPECT_TRUE(recorder.objects.empty());
      continue;
    }
    ASSERT_EQ(recorder.objects.size(), 1u);
    auto event = std::dynamic_pointer_cast<const CameraEvent>(recorder.objects[0]);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->type(), *c.posted);
    // The status travels as its unsigned 32-bit value, never a negative one.
    EXPECT_EQ(event->arg().value<quint32>(), c.status);
    EXPECT_EQ(event->arg().toLongLong(), static_cast<long long>(c.status));
  }
}

}  // namespace
