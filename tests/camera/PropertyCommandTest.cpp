// The property commands against the simulated camera: how each data type is read, the
// all-properties lists, failures and busy answers, and how values are written. The commands
// run on the test's thread, so their events arrive at once.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CameraTestSupport.h"
#include "camera/CameraModel.h"
#include "camera/GetPropertyCommand.h"
#include "camera/GetPropertyDescCommand.h"
#include "camera/SetPropertyCommandWithData.h"

namespace camera_test {
namespace {

using vok::sim::PropertyValue;

std::vector<std::uint8_t> bytesOf(const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  return {p, p + size};
}

class PropertyCommandTest : public SimulatedCamera {
 protected:
  void SetUp() override {
    SimulatedCamera::SetUp();
    model = std::make_shared<CameraModel>(camera_);
  }

  bool get(VokPropertyID id) { return GetPropertyCommand(model, id).execute(); }
  bool getDesc(VokPropertyID id) { return GetPropertyDescCommand(model, id).execute(); }

  // The property reads, as "size(id)" and "data(id):bytes asked for".
  static std::vector<std::string> reads() {
    std::vector<std::string> out;
    for (const vok::sim::Call& call : sim().calls()) {
      char text[64];
      if (call.name == "VokGetPropertySize") {
        std::snprintf(text, sizeof text, "size(0x%llx)", static_cast<unsigned long long>(call.args[0]));
      } else if (call.name == "VokGetPropertyData") {
        std::snprintf(text, sizeof text, "data(0x%llx):%llu", static_cast<unsigned long long>(call.args[0]),
                      static_cast<unsigned long long>(call.args[2]));
      } else {
        continue;
      }
      out.emplace_back(text);
    }
    return out;
  }

  std::shared_ptr<CameraModel> model;
  EventRecorder events;
};

TEST_F(PropertyCommandTest, EachDataTypeIsReadItsOwnWay) {
  tagVokFocusInfo focus{};
  focus.pointNumber = 5;
  focus.executeMode = 2;
  tagVokManualWBData wb{};
  wb.valid = 1;
  wb.dataSize = 8;
  struct Case {
    const char* label;
    VokPropertyID id;
    PropertyValue value;
    std::vector<std::string> reads;
    std::vector<Seen> events;
    std::function<void(const CameraModel&)> check;
  };
  const Case cases[] = {
      {"type 9", 0x106, PropertyValue::uint32(5), {"size(0x106)", "data(0x106):4"},
       {{EventType::property_CHANGED, 0x106}}, [](const CameraModel& m) { EXPECT_EQ(m.getPropertyUInt32(0x106), 5u); }},
      {"type 8", 0x106, PropertyValue::uint32(6, kVokDataType_Int32), {"size(0x106)", "data(0x106):4"},
       {{EventType::property_CHANGED, 0x106}}, [](const CameraModel& m) { EXPECT_EQ(m.getPropertyUInt32(0x106), 6u); }},
      {"type 2, owner", 0x4, PropertyValue::string("Mira"), {"size(0x4)", "data(0x4):256"},
       {{EventType::property_CHANGED, 0x4}},
       [](const CameraModel& m) {
         const auto owner = m.ownerName();
         ASSERT_EQ(owner.size(), 256u);
         EXPECT_EQ(std::string(reinterpret_cast<const char*>(owner.data())), "Mira");
       }},
      {"type 2, product", 0x2, PropertyValue::string("Orvell Tavo Sable"), {"size(0x2)", "data(0x2):256"}, {},
       [](const CameraModel& m) {
         EXPECT_EQ(m.productName(), QStringLiteral("Orvell Tavo Sable"));
         EXPECT_TRUE(m.isTypeDS);
       }},
      // Whatever id carries it, focus information is announced as 0x104.
      {"type 101", 0x01000600, PropertyValue::raw(kVokDataType_FocusInfo, bytesOf(&focus, sizeof focus)),
       {"size(0x1000600)", "data(0x1000600):33720"}, {{EventType::property_CHANGED, 0x104}},
       [](const CameraModel& m) {
         EXPECT_EQ(m.focusInfo().pointNumber, 5u);
         EXPECT_EQ(m.focusInfo().executeMode, 2u);
       }},
      {"type 23", 0x113, PropertyValue::raw(kVokDataType_Time, std::vector<std::uint8_t>(28, 1)),
       {"size(0x113)", "data(0x113):28"}, {}, nullptr},
      {"type 14, movie quality", 0x01000423, PropertyValue::raw(kVokDataType_ByteBlock, {9, 0, 0, 0}),
       {"size(0x1000423)", "data(0x1000423):4"}, {{EventType::property_CHANGED, 0x01000423}},
       [](const CameraModel& m) { EXPECT_EQ(m.getPropertyUInt32(0x01000423), 9u); }},
      {"type 14, white balance", 0x01000506, PropertyValue::raw(kVokDataType_ByteBlock, bytesOf(&wb, sizeof wb)),
       {"size(0x1000506)", "data(0x1000506):48"}, {{EventType::property_CHANGED, 0x01000506}},
       [](const CameraModel& m) { EXPECT_EQ(m.clickWB().dataSize, 8); }},
      {"type 14, empty", 0x01000506, PropertyValue::raw(kVokDataType_ByteBlock, {}),
       {"size(0x1000506)", "data(0x1000506):0"}, {}, [](const CameraModel& m) { EXPECT_EQ(m.clickWB().valid, 0); }},
      {"other type", 0x106, PropertyValue::uint32(7, 7), {"size(0x106)"}, {},
       [](const CameraModel& m) { EXPECT_EQ(m.getPropertyUInt32(0x106), 0u); }},
      // The output device is read as a number whatever its type, and type 8 reads it twice.
      {"0x500, type 9", 0x500, PropertyValue::uint32(2), {"size(0x500)", "data(0x500):4"},
       {{EventType::download_EVF, 0x500}}, [](const CameraModel& m) { EXPECT_EQ(m.getPropertyUInt32(0x500), 2u); }},
      {"0x500, type 8", 0x500, PropertyValue::uint32(2, kVokDataType_Int32),
       {"size(0x500)", "data(0x500):4", "data(0x500):4"},
       {{EventType::download_EVF, 0x500}, {EventType::download_EVF, 0x500}}, nullptr},
      {"0x500, other type", 0x500, PropertyValue::uint32(2, 7), {"size(0x500)", "data(0x500):4"},
       {{EventType::download_EVF, 0x500}}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    model = std::make_shared<CameraModel>(camera_);
    sim().setProperty(cameraId_, c.id, c.value);
    sim().clearCalls();
    events.clear();
    EXPECT_TRUE(get(c.id));
    EXPECT_EQ(reads(), c.reads);
    EXPECT_EQ(events.camera(), c.events);
    if (c.check) c.check(*model);
  }
}

TEST_F(PropertyCommandTest, FailedReadsAreReportedAndOnlyBusyRetries) {
  struct Case {
    const char* label;
    const char* call;
    VokError status;
    bool finished;
  };
  const Case cases[] = {
      {"size query fails", "VokGetPropertySize", VOK_ERR_INTERNAL, true},
      {"data read fails", "VokGetPropertyData", VOK_ERR_INTERNAL, true},
      {"size query busy", "VokGetPropertySize", VOK_ERR_DEVICE_BUSY, false},
      {"data read busy", "VokGetPropertyData", VOK_ERR_DEVICE_BUSY, false},
  };
  sim().setProperty(cameraId_, 0x106, PropertyValue::uint32(5));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    events.clear();
    sim().script(c.call, 0x106, {c.status});
    EXPECT_EQ(get(0x106), c.finished);
    const EventType type = c.status == VOK_ERR_DEVICE_BUSY ? EventType::device_BUSY : EventType::error;
    EXPECT_EQ(events.camera(), (std::vector<Seen>{{type, c.status}}));
    EXPECT_EQ(model->getPropertyUInt32(0x106), 0u);
  }
}

TEST_F(PropertyCommandTest, UnavailableFocusInformationIsClearedAndAnnounced) {
  tagVokFocusInfo old{};
  old.pointNumber = 9;
  model->setFocusInfo(old);
  sim().setProperty(cameraId_, 0x104, PropertyValue::raw(kVokDataType_FocusInfo, std::vector<std::uint8_t>(33720, 1)));
  sim().script("VokGetPropertyData", 0x104, {VOK_ERR_PROPERTIES_UNAVAILABLE});

  EXPECT_TRUE(get(0x104));

  const tagVokFocusInfo zero{};
  const tagVokFocusInfo now = model->focusInfo();
  EXPECT_EQ(std::memcmp(&now, &zero, sizeof now), 0);
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::property_CHANGED, 0x104},
                                                {EventType::error, VOK_ERR_PROPERTIES_UNAVAILABLE}}));
}

TEST_F(PropertyCommandTest, OversizedByteBlockIsAnErrorNotAnAllocation) {
  const std::size_t size = GetPropertyCommand::kMaxByteBlockSize + 1;
  sim().setProperty(cameraId_, 0x01000506, PropertyValue::raw(kVokDataType_ByteBlock, std::vector<std::uint8_t>(size, 7)));

  EXPECT_TRUE(get(0x01000506));

  EXPECT_EQ(reads(), (std::vector<std::string>{"size(0x1000506)"}));
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::error, GetPropertyCommand::kByteBlockTooLarge}}));
  EXPECT_EQ(model->clickWB().valid, 0);

  // The largest accepted block is still read.
  sim().setProperty(cameraId_, 0x01000506,
                    PropertyValue::raw(kVokDataType_ByteBlock, std::vector<std::uint8_t>(size - 1, 7)));
  events.clear();
  EXPECT_TRUE(get(0x01000506));
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::property_CHANGED, 0x01000506}}));
  EXPECT_EQ(model->clickWB().valid, 0x07070707);

  // The SDK's own refusal of a block reads differently from ours.
  sim().script("VokGetPropertyData", 0x01000506, {VOK_ERR_BUFFER_TOO_SMALL});
  events.clear();
  EXPECT_TRUE(get(0x01000506));
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::error, VOK_ERR_BUFFER_TOO_SMALL}}));
  EXPECT_NE(GetPropertyCommand::kByteBlockTooLarge, VOK_ERR_BUFFER_TOO_SMALL);
}

class AllPropertiesTest : public PropertyCommandTest {
 protected:
  void SetUp() override {
    PropertyCommandTest::SetUp();
    VokUInt32 value = 100;
    for (VokPropertyID id : GetPropertyCommand::kAllPropertyIds) {
      if (id == 0x01000506) {
        sim().setProperty(cameraId_, id, PropertyValue::raw(kVokDataType_ByteBlock, std::vector<std::uint8_t>(48, 1)));
      } else if (id == 0x01000423) {
        sim().setProperty(cameraId_, id, PropertyValue::raw(kVokDataType_ByteBlock, {42, 0, 0, 0}));
      } else {
        sim().setProperty(cameraId_, id, PropertyValue::uint32(value++));
      }
    }
    VokInt32 seed = 1;
    for (VokPropertyID id : GetPropertyDescCommand::kAllPropertyIds) {
      tagVokPropertyDesc desc{};
      desc.numElements = seed++;
      sim().setDescriptor(cameraId_, id, desc);
    }
    sim().clearCalls();
  }

  static std::vector<VokPropertyID> listed(const auto& ids, std::size_t count) {
    return {ids.begin(), ids.begin() + static_cast<std::ptrdiff_t>(count)};
  }
};

TEST_F(AllPropertiesTest, ReadsTheListInOrder) {
  EXPECT_TRUE(get(0xFFFF));
  const auto all = listed(GetPropertyCommand::kAllPropertyIds, 20);
  EXPECT_EQ(idsOf("VokGetPropertySize"), all);
  EXPECT_EQ(idsOf("VokGetPropertyData"), all);
  EXPECT_EQ(model->getPropertyUInt32(0x436), 100u);
  EXPECT_EQ(model->getPropertyUInt32(0x01000431), 117u);
  EXPECT_EQ(model->getPropertyUInt32(0x01000423), 42u);
  EXPECT_EQ(model->clickWB().valid, 0x01010101);
  ASSERT_EQ(events.camera().size(), 20u);
  EXPECT_EQ(events.camera().back(), (Seen{EventType::property_CHANGED, 0x01000506}));
}

TEST_F(AllPropertiesTest, ReadsTheDescriptorListInOrder) {
  EXPECT_TRUE(getDesc(0xFFFF));
  EXPECT_EQ(idsOf("VokGetPropertyDesc"), listed(GetPropertyDescCommand::kAllPropertyIds, 14));
  EXPECT_EQ(model->propertyDesc(0x436)->numElements, 1);
  EXPECT_EQ(model->propertyDesc(0x01000431)->numElements, 14);
  EXPECT_EQ(events.camera().size(), 14u);
}

TEST_F(AllPropertiesTest, StopsAtTheFirstFailure) {
  // The fifth id of each list fails: the ids before it are stored, the rest are not read.
  sim().script("VokGetPropertySize", 0x403, {VOK_ERR_INTERNAL});
  EXPECT_TRUE(get(0xFFFF));
  EXPECT_EQ(idsOf("VokGetPropertySize"), listed(GetPropertyCommand::kAllPropertyIds, 5));
  EXPECT_EQ(model->getPropertyUInt32(0x402), 103u);
  EXPECT_EQ(model->getPropertyUInt32(0x407), 0u);
  EXPECT_EQ(events.camera().size(), 5u);
  EXPECT_EQ(events.camera().back(), (Seen{EventType::error, VOK_ERR_INTERNAL}));

  events.clear();
  sim().script("VokGetPropertyDesc", 0x403, {VOK_ERR_INTERNAL});
  EXPECT_TRUE(getDesc(0xFFFF));
  EXPECT_EQ(idsOf("VokGetPropertyDesc"), listed(GetPropertyDescCommand::kAllPropertyIds, 5));
  EXPECT_EQ(model->propertyDesc(0x402)->numElements, 4);
  EXPECT_EQ(model->propertyDesc(0x407)->numElements, 0);
  EXPECT_EQ(events.camera().back(), (Seen{EventType::error, VOK_ERR_INTERNAL}));
}

TEST_F(AllPropertiesTest, BusyIdMakesTheWholeListRunAgain) {
  sim().script("VokGetPropertyData", 0x403, {VOK_ERR_DEVICE_BUSY});
  GetPropertyCommand command(model, 0xFFFF);
  EXPECT_FALSE(command.execute());
  EXPECT_EQ(events.camera().back(), (Seen{EventType::device_BUSY, VOK_ERR_DEVICE_BUSY}));
  EXPECT_EQ(idsOf("VokGetPropertySize").size(), 5u);

  sim().clearCalls();
  EXPECT_TRUE(command.execute());
  EXPECT_EQ(idsOf("VokGetPropertySize"), listed(GetPropertyCommand::kAllPropertyIds, 20));

  sim().script("VokGetPropertyDesc", 0x403, {VOK_ERR_DEVICE_BUSY});
  GetPropertyDescCommand descCommand(model, 0xFFFF);
  EXPECT_FALSE(descCommand.execute());
  sim().clearCalls();
  EXPECT_TRUE(descCommand.execute());
  EXPECT_EQ(idsOf("VokGetPropertyDesc"), listed(GetPropertyDescCommand::kAllPropertyIds, 14));
}

TEST_F(PropertyCommandTest, DescriptorReadFailuresAreReported) {
  // Not on the camera: reported as an error, the store unchanged.
  EXPECT_TRUE(getDesc(0x106));
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::error, VOK_ERR_PROPERTY_NOT_FOUND}}));
  EXPECT_EQ(model->propertyDesc(0x106)->numElements, 0);
}

TEST_F(PropertyCommandTest, WritesSendTheValueBytesAndNeverRetry) {
  struct Case {
    const char* label;
    VokPropertyID id;
    SetPropertyCommandWithData::Data data;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"number", 0x106, VokUInt32{0x11223344}, {0x44, 0x33, 0x22, 0x11}},
      {"zoom", 0x507, VokEvfZoom{5}, {5, 0, 0, 0}},
      {"point", 0x508, tagVokPoint{-3, 7}, {0xFD, 0xFF, 0xFF, 0xFF, 7, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    sim().clearCalls();
    EXPECT_TRUE(SetPropertyCommandWithData(model, c.id, c.data).execute());
    const auto writes = sim().calls("VokSetPropertyData");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].args.at(0), c.id);
    EXPECT_EQ(writes[0].args.at(2), c.bytes.size());
    EXPECT_EQ(sim().property(cameraId_, c.id)->bytes, c.bytes);
  }
  // The store follows the camera's own announcement, not the write.
  EXPECT_EQ(model->getPropertyUInt32(0x106), 0u);
  EXPECT_TRUE(events.camera().empty());

  for (VokError status : {VOK_ERR_DEVICE_BUSY, VOK_ERR_INTERNAL}) {
    SCOPED_TRACE(status);
    events.clear();
    sim().script("VokSetPropertyData", {status});
    EXPECT_TRUE(SetPropertyCommandWithData(model, 0x106, VokUInt32{1}).execute());
    const EventType type = status == VOK_ERR_DEVICE_BUSY ? EventType::device_BUSY : EventType::error;
    EXPECT_EQ(events.camera(), (std::vector<Seen>{{type, status}}));
  }
}

}  // namespace
}  // namespace camera_test
