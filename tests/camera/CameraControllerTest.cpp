// The action dispatcher and the "ACTION_PERFORMED_MESSAGE" observer: which commands each
// action queues, what carries a property id, and the shut-down row.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CameraTestSupport.h"
#include "camera/ActionEvent.h"
#include "camera/CameraController.h"
#include "camera/CameraModel.h"

namespace camera_test {
namespace {

using Action = ActionEvent::Command;
using vok::sim::PropertyValue;

constexpr VokPropertyID kMarker = 0x8;  // "VokGetPropertyData(0x8)": read after each action: the queue has run what came before

class CameraControllerTest : public SimulatedCamera {
 protected:
  void SetUp() override {
    SimulatedCamera::SetUp();
    for (VokPropertyID id : {0x106u, 0x80000001u, kMarker}) sim().setProperty(cameraId_, id, PropertyValue::uint32(1));
    tagVokPropertyDesc desc{};
    desc.numElements = 2;
    sim().setDescriptor(cameraId_, 0x106, desc);
    model = std::make_shared<CameraModel>(camera_);
    controller = std::make_unique<CameraController>(model);
  }
  void TearDown() override {
    controller.reset();
    SimulatedCamera::TearDown();
  }

  // The SDK calls that `act` leads to, once the queue has run them.
  std::vector<std::string> callsAfter(const std::function<void()>& act) {
    sim().clearCalls();
    act();
    controller->actionPerformed(ActionEvent(Action::get_PROPERTY, QVariant::fromValue<quint32>(kMarker)));
    const std::string marker = "VokGetPropertyData(0x8)";
    EXPECT_TRUE(waitUntil([&] {
      const auto names = callNames();
      return !names.empty() && names.back() == marker;
    }));
    auto names = callNames();
    names.resize(names.size() - 2);  // the marker's two reads
    return names;
  }

  std::shared_ptr<CameraModel> model;
  std::unique_ptr<CameraController> controller;
};

TEST_F(CameraControllerTest, PropertyRowsReadWhatTheActionNames) {
  const std::vector<std::string> read106 = {"VokGetPropertySize(0x106)", "VokGetPropertyData(0x106)"};
  struct Case {
    const char* label;
    Action command;
    QVariant object;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"unsigned id", Action::get_PROPERTY, QVariant::fromValue<quint32>(0x106), read106},
      {"id of 0x80000000 or more", Action::get_PROPERTY, QVariant::fromValue<quint32>(0x80000001),
       {"VokGetPropertySize(0x80000001)", "VokGetPropertyData(0x80000001)"}},
      {"signed id", Action::get_PROPERTY, QVariant(0x106), read106},
      {"64-bit id", Action::get_PROPERTY, QVariant::fromValue<qulonglong>(0x106), read106},
      {"negative number", Action::get_PROPERTY, QVariant(-5), {}},
      {"beyond 32 bits", Action::get_PROPERTY, QVariant::fromValue<qulonglong>(0x100000106ull), {}},
      {"text", Action::get_PROPERTY, QVariant(QStringLiteral("262")), {}},
      {"fraction", Action::get_PROPERTY, QVariant(262.0), {}},
      {"nothing", Action::get_PROPERTY, QVariant(), {}},
      {"descriptor", Action::get_PROPERTYDESC, QVariant::fromValue<quint32>(0x106), {"VokGetPropertyDesc(0x106)"}},
      {"descriptor, text", Action::get_PROPERTYDESC, QVariant(QStringLiteral("x")), {}},
      {"none", Action::none, QVariant::fromValue<quint32>(0x106), {}},
      {"a row that does nothing", Action::set_CAMERASETTING, QVariant::fromValue<quint32>(0x106), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(callsAfter([&] { controller->actionPerformed(ActionEvent(c.command, c.object)); }), c.calls);
  }
  // A reference where a number belongs is no id, and is not released either.
  const auto wrapped = std::make_shared<const ActionVokRef>(camera_);
  EXPECT_TRUE(callsAfter([&] { controller->actionPerformed(ActionEvent(Action::get_PROPERTY, wrapped)); }).empty());
  EXPECT_EQ(model->getPropertyUInt32(0x106), 1u);
  EXPECT_EQ(model->propertyDesc(0x106)->numElements, 2);
  EXPECT_EQ(controller->clickType.load(), 0);
}

TEST_F(CameraControllerTest, ObserverTakesOnlyActionEvents) {
  auto& center = platform::NotificationCenter::defaultCenter();
  const QString name = QString::fromLatin1(kActionPerformedMessage);
  EXPECT_EQ(callsAfter([&] {
              center.post(name, std::make_shared<const ActionEvent>(Action::get_PROPERTY,
                                                                    QVariant::fromValue<quint32>(0x106)));
            }),
            (std::vector<std::string>{"VokGetPropertySize(0x106)", "VokGetPropertyData(0x106)"}));
  EXPECT_TRUE(callsAfter([&] {
                center.post(name, std::make_shared<const CameraEvent>(EventType::property_CHANGED,
                                                                      QVariant::fromValue<quint32>(0x106)));
                center.post(name, nullptr);
              }).empty());

  // Gone with its controller.
  controller.reset();
  sim().clearCalls();
  center.post(name, std::make_shared<const ActionEvent>(Action::get_PROPERTY, QVariant::fromValue<quint32>(0x106)));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(sim().calls().empty());
}

TEST_F(CameraControllerTest, ShutDownReportsTheDisconnectionAndStopsTheQueue) {
  EventRecorder events;
  // From a thread of its own, as the SDK delivers it.
  std::thread sdk([&] { controller->actionPerformed(ActionEvent(Action::shut_DOWN, QVariant::fromValue<quint32>(0))); });
  sdk.join();
  EXPECT_TRUE(events.view().empty());  // not yet: it is on its way to the main thread
  ASSERT_TRUE(platform::processEventsUntil([&] { return !events.view().empty(); }));
  EXPECT_EQ(events.view(), (std::vector<ViewEvent::ViewEventType>{ViewEvent::ViewEventType::DEVICE_DISCONNECTED}));
  EXPECT_FALSE(events.offMainThread());

  sim().clearCalls();
  controller->actionPerformed(ActionEvent(Action::get_PROPERTY, QVariant::fromValue<quint32>(0x106)));
  controller->connect();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(sim().calls().empty());
}

}  // namespace
}  // namespace camera_test
