#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

struct Payload final : platform::Object {
  explicit Payload(int v) : value(v) {}
  int value;
};

TEST(NotificationCenter, DeliversByNameWithTheObjectBeforePostReturns) {
  platform::NotificationCenter center;
  int a = 0, b = 0, observerA = 0, observerB = 0;
  center.addObserver(&observerA, QStringLiteral("A"), [&](const platform::Notification& n) {
    a += std::dynamic_pointer_cast<const Payload>(n.object)->value;
  });
  center.addObserver(&observerB, QStringLiteral("B"), [&](const platform::Notification&) { ++b; });
  center.post(QStringLiteral("A"), std::make_shared<Payload>(7));
  EXPECT_EQ(a, 7);
  EXPECT_EQ(b, 0);
}

TEST(NotificationCenter, ObserverRemovedDuringDeliveryIsNotCalled) {
  platform::NotificationCenter center;
  int first = 0, second = 0;
  int observerSecond = 0;
  center.addObserver(&first, QStringLiteral("N"), [&](const platform::Notification&) {
    ++first;
    center.removeObserver(&observerSecond);
  });
  center.addObserver(&observerSecond, QStringLiteral("N"), [&](const platform::Notification&) { ++second; });
  center.post(QStringLiteral("N"));
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);
}

TEST(NotificationCenter, ObserverMayRemoveItselfAndAddOthersWhileDelivering) {
  platform::NotificationCenter center;
  int self = 0, added = 0, calls = 0;
  center.addObserver(&self, QStringLiteral("N"), [&](const platform::Notification&) {
    ++calls;
    center.removeObserver(&self);
    center.addObserver(&added, QStringLiteral("N"), [&](const platform::Notification&) { ++added; });
  });
  center.post(QStringLiteral("N"));
  center.post(QStringLiteral("N"));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(added, 1);  // added during the first delivery, so it sees only the second post
}

TEST(NotificationCenter, RemovalWaitsForACallRunningOnAnotherThread) {
  platform::NotificationCenter center;
  int observer = 0;
  std::atomic<bool> inside{false}, release{false}, finished{false};
  center.addObserver(&observer, QStringLiteral("N"), [&](const platform::Notification&) {
    inside = true;
    while (!release) std::this_thread::yield();
    finished = true;
  });
  std::thread poster([&] { center.post(QStringLiteral("N")); });
  while (!inside) std::this_thread::yield();
  std::thread remover([&] {
    center.removeObserver(&observer);
    EXPECT_TRUE(finished.load());
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  release = true;
  poster.join();
  remover.join();
  EXPECT_FALSE(center.hasObserver(&observer));
}

}  // namespace
