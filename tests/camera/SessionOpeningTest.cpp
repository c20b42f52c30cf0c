// The session opening's steps and statuses, and connect(): the opening, then the product-name
// read, also when the opening has to be retried.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "CameraTestSupport.h"
#include "camera/CameraController.h"
#include "camera/CameraModel.h"
#include "camera/OpenSessionCommand.h"

namespace camera_test {
namespace {

const std::vector<std::string> kAllSteps = {"VokOpenSession", "VokSetPropertyData(0xb)", "VokSendStatusCommand(0x0)",
                                            "VokSetCapacity", "VokSendStatusCommand(0x1)"};

std::vector<std::string> firstSteps(std::size_t n) { return {kAllSteps.begin(), kAllSteps.begin() + static_cast<std::ptrdiff_t>(n)}; }

using SessionOpening = SimulatedCamera;

TEST_F(SessionOpening, StatusOfEachStepDecidesHowItEnds) {
  struct Case {
    const char* label;
    std::function<void()> script;
    std::vector<std::string> calls;
    bool finished;
    std::vector<Seen> events;
  };
  const Case cases[] = {
      {"all succeed", [] {}, kAllSteps, true, {}},
      {"open and capacity statuses are not examined",
       [] {
         sim().script("VokOpenSession", {VOK_ERR_INTERNAL});
         sim().script("VokSetCapacity", {VOK_ERR_INTERNAL});
       },
       kAllSteps, true, {}},
      {"setting busy", [] { sim().script("VokSetPropertyData", 0xB, {VOK_ERR_DEVICE_BUSY}); }, firstSteps(2), false,
       {{EventType::device_BUSY, VOK_ERR_DEVICE_BUSY}}},
      {"setting fails", [] { sim().script("VokSetPropertyData", 0xB, {VOK_ERR_INTERNAL}); }, firstSteps(2), true,
       {{EventType::error, VOK_ERR_INTERNAL}}},
      {"status 0 busy", [] { sim().script("VokSendStatusCommand", {VOK_ERR_DEVICE_BUSY}); }, firstSteps(3), false,
       {{EventType::device_BUSY, VOK_ERR_DEVICE_BUSY}}},
      {"status 0 fails", [] { sim().script("VokSendStatusCommand", {VOK_ERR_INTERNAL}); }, firstSteps(3), true,
       {{EventType::error, VOK_ERR_INTERNAL}}},
      {"status 1 busy", [] { sim().script("VokSendStatusCommand", {VOK_ERR_OK, VOK_ERR_DEVICE_BUSY}); }, kAllSteps, false,
       {{EventType::device_BUSY, VOK_ERR_DEVICE_BUSY}}},
      {"status 1 fails", [] { sim().script("VokSendStatusCommand", {VOK_ERR_OK, VOK_ERR_INTERNAL}); }, kAllSteps, true,
       {{EventType::error, VOK_ERR_INTERNAL}}},
  };
  platform::ScopedFakeClock clock;
  EventRecorder events;
  auto model = std::make_shared<CameraModel>(camera_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    sim().clearCalls();
    events.clear();
    c.script();
    const double start = platform::now().time_since_epoch().count();
    bool finished = !c.finished;
    // Off the main thread, as on the command queue: the events take the hop to the main queue.
    runInFakeTime(*clock, [&] { finished = OpenSessionCommand(model).execute(); });
    EventRecorder::drainMainQueue();

    EXPECT_EQ(callNames(), c.calls);
    EXPECT_EQ(finished, c.finished);
    EXPECT_EQ(events.camera(), c.events);
    EXPECT_FALSE(events.offMainThread());
    const auto calls = sim().calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_GE(calls.front().time - start, OpenSessionCommand::kPause - 1e-9);
    const auto writes = sim().calls("VokSetPropertyData");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].args, (std::vector<std::uint64_t>{0xB, 0, 4, 2}));
    if (c.calls.size() == kAllSteps.size()) {
      EXPECT_EQ(sim().calls("VokSetCapacity")[0].args,
                (std::vector<std::uint64_t>{0x7FFFFFFF, 0x1000, 1}));
    }
  }
}

class Connect : public SimulatedCamera {
 protected:
  void SetUp() override { startCamera(vok::sim::CameraSpec{}, /*openSession=*/false); }
};

TEST_F(Connect, ReadsNameOnlyAfterBusyRetry) {
  struct Case {
    const char* label;
    std::function<void()> script;
    int attempts;
  };
  const Case cases[] = {
      {"not busy", [] {}, 1},
      {"setting busy once", [] { sim().script("VokSetPropertyData", 0xB, {VOK_ERR_DEVICE_BUSY}); }, 2},
      {"status 1 busy twice",
       [] { sim().script("VokSendStatusCommand", {VOK_ERR_OK, VOK_ERR_DEVICE_BUSY, VOK_ERR_OK, VOK_ERR_DEVICE_BUSY}); }, 3},
      // Another error ends the opening; the name is still read after it.
      {"status 0 fails", [] { sim().script("VokSendStatusCommand", {VOK_ERR_INTERNAL}); }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    startCamera(vok::sim::CameraSpec{}, /*openSession=*/false);
    c.script();
    platform::ScopedFakeClock clock;
    EventRecorder events;
    auto model = std::make_shared<CameraModel>(camera_);
    {
      CameraController controller(model);
      runInFakeTime(*clock, [&] { controller.connect(); });
      ASSERT_TRUE(advanceUntil(*clock, [] { return !sim().calls("VokGetPropertyData").empty(); }));
      EventRecorder::drainMainQueue();
    }

    const auto names = callNames();
    const auto opens = sim().calls("VokOpenSession");
    ASSERT_EQ(opens.size(), static_cast<std::size_t>(c.attempts));
    for (std::size_t i = 1; i < opens.size(); ++i) EXPECT_GE(opens[i].time - opens[i - 1].time, 1.0 - 1e-9);
    // The name read comes last, once, after every step of every attempt.
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[names.size() - 2], "VokGetPropertySize(0x2)");
    EXPECT_EQ(names.back(), "VokGetPropertyData(0x2)");
    EXPECT_EQ(std::count(names.begin(), names.end(), "VokGetPropertySize(0x2)"), 1);
    EXPECT_EQ(model->productName(), QStringLiteral("Orvell Tavo Quill"));
    EXPECT_TRUE(model->isTypeDS);
    const auto busy = std::count(events.camera().begin(), events.camera().end(),
                                 Seen{EventType::device_BUSY, VOK_ERR_DEVICE_BUSY});
    EXPECT_EQ(busy, c.attempts - 1);
  }
}

}  // namespace
}  // namespace camera_test
