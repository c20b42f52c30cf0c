// The property store: initial values, the id tables, the announcements and the rules for
// descriptors, names and byte blocks. Run on the main thread, so events arrive at once.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "CameraTestSupport.h"
#include "camera/CameraModel.h"

namespace camera_test {
namespace {

// Every id with a value field, and the value a fresh store answers for it.
struct ValueId {
  VokPropertyID id;
  VokUInt32 initial;
};
constexpr ValueId kValueIds[] = {
    {0x00000008, 0}, {0x00000100, 0}, {0x00000106, 0}, {0x00000114, 0}, {0x00000401, 0},
    {0x00000402, 0}, {0x00000403, 0}, {0x00000404, 0}, {0x00000405, 0}, {0x00000406, 0},
    {0x00000407, 0}, {0x0000040A, 0}, {0x00000436, 0}, {0x00000500, 0xFFFFFFFF}, {0x00000501, 0},
    {0x00000504, 0}, {0x0000050E, 0}, {0x00000600, 0}, {0x00000601, 0}, {0x01000415, 0},
    {0x01000421, 0}, {0x01000422, 1}, {0x01000423, 0}, {0x01000431, 0}, {0x01000438, 0xFFFFFFFF},
    {0x0100045D, 0}, {0x0100045E, 0}, {0x01000544, 1},
};

constexpr VokPropertyID kDescIds[] = {0x436, 0x405, 0x406, 0x402, 0x403, 0x407, 0x100, 0x50E, 0x106,
                                      0x401, 0x600, 0x601, 0x01000423, 0x0100045D, 0x114, 0x01000431,
                                      0x0100045E};

tagVokPropertyDesc descWith(VokInt32 seed) {
  tagVokPropertyDesc desc{};
  desc.form = seed;
  desc.access = seed + 1;
  desc.numElements = 3;
  desc.propDesc[0] = seed * 10;
  desc.propDesc[127] = seed * 20;
  return desc;
}

bool sameBytes(const tagVokPropertyDesc& a, const tagVokPropertyDesc& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::vector<std::int8_t> nameBytes(const std::string& text, std::size_t size = 256) {
  std::vector<std::int8_t> bytes(size, 0);
  std::memcpy(bytes.data(), text.data(), std::min(text.size(), size));
  return bytes;
}

class CameraModelTest : public ::testing::Test {
 protected:
  CameraModel model{nullptr};
  EventRecorder events;
};

TEST_F(CameraModelTest, FreshStoreHoldsTheInitialValues) {
  for (const ValueId& value : kValueIds) {
    SCOPED_TRACE(testing::Message() << "id 0x" << std::hex << value.id);
    EXPECT_EQ(model.getPropertyUInt32(value.id), value.initial);
  }
  for (VokPropertyID id : {0x2u, 0x4u, 0x104u, 0x01000506u, 0xFFFFu, 0x80000000u}) {
    SCOPED_TRACE(testing::Message() << "id 0x" << std::hex << id);
    EXPECT_EQ(model.getPropertyUInt32(id), 0xFFFFFFFFu);
  }
  EXPECT_EQ(model._startupEvfOutputDevice.load(), 0u);
  EXPECT_EQ(model.modelString(), std::vector<std::int8_t>(256, 0x20));
  EXPECT_EQ(model.ownerName(), std::vector<std::int8_t>(256, 0x20));
  EXPECT_FALSE(model.isTypeDS);
  EXPECT_TRUE(model.canDownloadImage);
  EXPECT_FALSE(model.isEvfEnable);
  EXPECT_EQ(model._clickPoint.load(), 0);
  EXPECT_EQ(model._evfZoom.load(), 0u);
  EXPECT_EQ(model._storageFileNum.load(), -1);
  EXPECT_EQ(model._selectedVolumeIndex.load(), 255u);
  EXPECT_FALSE(model._isFileTransferring);
  EXPECT_FALSE(model._isFileDeleting);
  const tagVokPropertyDesc zero{};
  for (VokPropertyID id : kDescIds) EXPECT_TRUE(sameBytes(*model.propertyDesc(id), zero));
  const tagVokManualWBData wb = model.clickWB();
  EXPECT_EQ(wb.valid, 0);
  EXPECT_EQ(wb.dataSize, 0);
  EXPECT_EQ(model.focusInfo().pointNumber, 0u);
  EXPECT_EQ(model.sizeJpeglarge().width, 0);
  EXPECT_EQ(model.evfZoomPosition().x, 0);
  EXPECT_TRUE(events.camera().empty());
}

TEST_F(CameraModelTest, EachValueSetterReadsBackAndAnnounces) {
  for (const ValueId& value : kValueIds) {
    SCOPED_TRACE(testing::Message() << "id 0x" << std::hex << value.id);
    events.clear();
    model.setPropertyUInt32(value.id, 0x80000007);
    EXPECT_EQ(model.getPropertyUInt32(value.id), 0x80000007u);
    // The same value again is stored and announced again.
    model.setPropertyUInt32(value.id, 0x80000007);
    std::vector<Seen> expected;
    if (value.id == 0x500) {
      expected = {{EventType::download_EVF, 0x500}, {EventType::download_EVF, 0x500}};
    } else if (value.id != 0x501 && value.id != 0x504) {
      expected = {{EventType::property_CHANGED, value.id}, {EventType::property_CHANGED, value.id}};
    }
    EXPECT_EQ(events.camera(), expected);
  }
}

TEST_F(CameraModelTest, OutputDeviceKeepsTheFirstValueAsStartUp) {
  model.setPropertyUInt32(0x500, 3);
  EXPECT_EQ(model._startupEvfOutputDevice.load(), 3u);
  EXPECT_EQ(model._evfOutputDevice.load(), 3u);
  model.setPropertyUInt32(0x500, 5);
  EXPECT_EQ(model._startupEvfOutputDevice.load(), 3u);
  EXPECT_EQ(model._evfOutputDevice.load(), 5u);
}

TEST_F(CameraModelTest, IdsOutsideTheTablesAreIgnored) {
  for (VokPropertyID id : {0x2u, 0x4u, 0x104u, 0x01000506u, 0xFFFFu, 0x80000001u}) {
    SCOPED_TRACE(testing::Message() << "id 0x" << std::hex << id);
    model.setPropertyUInt32(id, 9);
    EXPECT_EQ(model.getPropertyUInt32(id), 0xFFFFFFFFu);
    model.setPropertyDesc(id, descWith(4));
    EXPECT_FALSE(model.propertyDesc(id));
  }
  // 0x404 has a value but no descriptor.
  model.setPropertyDesc(0x404, descWith(4));
  for (VokPropertyID id : {0x7u, 0x106u, 0x01000506u, 0x80000002u}) model.setPropertyString(id, nameBytes("x"));
  for (VokPropertyID id : {0x2u, 0x106u, 0x01000422u, 0x80000506u}) {
    model.setPropertyByteBlock(id, std::vector<std::uint8_t>(64, 1));
  }
  EXPECT_TRUE(events.camera().empty());
  EXPECT_EQ(model.modelString(), std::vector<std::int8_t>(256, 0x20));
  EXPECT_EQ(model.ownerName(), std::vector<std::int8_t>(256, 0x20));
  EXPECT_EQ(model.clickWB().valid, 0);
  EXPECT_EQ(model.getPropertyUInt32(0x106), 0u);
  EXPECT_EQ(model.getPropertyUInt32(0x01000422), 1u);
}

TEST_F(CameraModelTest, EachDescriptorIsStoredWholeAndAnnouncedOnce) {
  VokInt32 seed = 1;
  for (VokPropertyID id : kDescIds) {
    SCOPED_TRACE(testing::Message() << "id 0x" << std::hex << id);
    events.clear();
    const tagVokPropertyDesc desc = descWith(seed++);
    model.setPropertyDesc(id, desc);
    EXPECT_TRUE(sameBytes(*model.propertyDesc(id), desc));
    // With the fixed-movie value at its initial 1 the aspect rule leaves movie quality alone.
    EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::propertydesc_CHANGED, id}}));
  }
  EXPECT_EQ(model.propertyDesc(0x01000423)->numElements, 3);
}

TEST_F(CameraModelTest, AspectWithoutFixedMovieEmptiesMovieQualityChoices) {
  const tagVokPropertyDesc quality = descWith(7);
  model.setPropertyDesc(0x01000423, quality);
  model.setPropertyUInt32(0x01000422, 0);
  events.clear();

  const tagVokPropertyDesc aspect = descWith(9);
  model.setPropertyDesc(0x01000431, aspect);

  EXPECT_TRUE(sameBytes(*model.propertyDesc(0x01000431), aspect));
  tagVokPropertyDesc expected = quality;
  expected.numElements = 0;
  EXPECT_TRUE(sameBytes(*model.propertyDesc(0x01000423), expected));
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::propertydesc_CHANGED, 0x01000431},
                                                {EventType::propertydesc_CHANGED, 0x01000423}}));
}

TEST_F(CameraModelTest, ProductNameSetsTheFamilyFlagWithoutAnEvent) {
  struct Case {
    const char* label;
    std::vector<std::int8_t> bytes;
    QString name;
    bool typeDS;
  };
  std::vector<std::int8_t> noZero(256, 'A');
  std::memcpy(noZero.data() + 252, "Tavo", 4);
  std::vector<std::int8_t> nonAscii = nameBytes("Tavo \xC3\xA9");
  const Case cases[] = {
      {"at the start", nameBytes("Tavo Quill"), QStringLiteral("Tavo Quill"), true},
      {"in the middle", nameBytes("Orvell Tavo Quill"), QStringLiteral("Orvell Tavo Quill"), true},
      {"at the end", nameBytes("Orvell Tavo"), QStringLiteral("Orvell Tavo"), true},
      {"other letter case", nameBytes("Orvell TAVO tavo"), QStringLiteral("Orvell TAVO tavo"), false},
      {"after the zero byte", nameBytes(std::string("Orvell\0Tavo", 11)), QStringLiteral("Orvell"), false},
      {"256 bytes, no zero", noZero, QString(252, QLatin1Char('A')) + QStringLiteral("Tavo"), true},
      {"not ASCII", nonAscii, QString(), false},
      {"empty", std::vector<std::int8_t>(256, 0), QString(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    model.isTypeDS = !c.typeDS;
    model.setPropertyString(0x2, c.bytes);
    EXPECT_EQ(model.productName(), c.name);
    EXPECT_EQ(model.isTypeDS, c.typeDS);
    EXPECT_EQ(model.modelString(), c.bytes);
  }
  EXPECT_TRUE(events.camera().empty());
}

TEST_F(CameraModelTest, ProductNameNeverReadsPastTheArray) {
  // A longer array than the camera's 256 bytes is still decoded over 256 bytes at most.
  std::vector<std::int8_t> bytes(300, 'B');
  model.setPropertyString(0x2, bytes);
  EXPECT_EQ(model.productName(), QString(256, QLatin1Char('B')));
  model.setPropertyString(0x2, std::vector<std::int8_t>(3, 'C'));
  EXPECT_EQ(model.productName(), QStringLiteral("CCC"));
  model.setPropertyString(0x2, {});
  EXPECT_EQ(model.productName(), QString());
}

TEST_F(CameraModelTest, OwnerNameIsStoredAndAnnounced) {
  const auto bytes = nameBytes("Mira");
  model.setPropertyString(0x4, bytes);
  EXPECT_EQ(model.ownerName(), bytes);
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::property_CHANGED, 0x4}}));
}

TEST_F(CameraModelTest, ByteBlocksFillTheirRecordOrAreIgnoredWhenShort) {
  std::vector<std::uint8_t> wb(60);
  for (std::size_t i = 0; i < wb.size(); ++i) wb[i] = static_cast<std::uint8_t>(i + 1);
  model.setPropertyByteBlock(0x01000506, wb);
  const tagVokManualWBData stored = model.clickWB();
  EXPECT_EQ(std::memcmp(&stored, wb.data(), sizeof stored), 0);

  model.setPropertyByteBlock(0x01000423, {0x78, 0x56, 0x34, 0x12, 0xFF});
  EXPECT_EQ(model.getPropertyUInt32(0x01000423), 0x12345678u);
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::property_CHANGED, 0x01000506},
                                                {EventType::property_CHANGED, 0x01000423}}));

  events.clear();
  model.setPropertyByteBlock(0x01000506, std::vector<std::uint8_t>(47, 0xEE));
  model.setPropertyByteBlock(0x01000506, {});
  model.setPropertyByteBlock(0x01000423, {1, 2, 3});
  model.setPropertyByteBlock(0x01000423, {});
  EXPECT_TRUE(events.camera().empty());
  const tagVokManualWBData after = model.clickWB();
  EXPECT_EQ(std::memcmp(&after, wb.data(), sizeof after), 0);
  EXPECT_EQ(model.getPropertyUInt32(0x01000423), 0x12345678u);
}

TEST_F(CameraModelTest, WhiteBalanceStoreAnnouncesEveryTime) {
  tagVokManualWBData data{};
  data.valid = 1;
  model.setClickWB(data);
  model.setClickWB(data);
  EXPECT_EQ(events.camera(), (std::vector<Seen>{{EventType::property_CHANGED, 0x01000506},
                                                {EventType::property_CHANGED, 0x01000506}}));
}

}  // namespace
}  // namespace camera_test
