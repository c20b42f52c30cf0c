#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "SimFixture.h"

using Session = SimTest;

TEST_F(Session, PropertyAndStatusCallsNeedAnOpenSessionExceptNameAndVersionReads) {
  tagVokPropertyDesc desc{};
  desc.numElements = 1;
  sim().setDescriptor(camera, 0x106, desc);
  VokCameraRef cam = firstCamera();
  char buffer[256];
  VokDataType type = 0;
  VokUInt32 size = 0;
  const VokUInt32 value = 1;
  struct Case {
    const char* name;
    std::function<VokError()> call;
    VokError closed;
  };
  const Case cases[] = {
      {"read 0x2", [&] { return VokGetPropertyData(cam, 0x2, 0, sizeof buffer, buffer); }, VOK_ERR_OK},
      {"read 0x7", [&] { return VokGetPropertyData(cam, 0x7, 0, sizeof buffer, buffer); }, VOK_ERR_OK},
      {"read 0x4", [&] { return VokGetPropertyData(cam, 0x4, 0, sizeof buffer, buffer); }, VOK_ERR_SESSION_NOT_OPEN},
      {"size 0x2", [&] { return VokGetPropertySize(cam, 0x2, 0, &type, &size); }, VOK_ERR_SESSION_NOT_OPEN},
      {"write", [&] { return VokSetPropertyData(cam, 0x106, 0, 4, &value); }, VOK_ERR_SESSION_NOT_OPEN},
      {"descriptor", [&] { return VokGetPropertyDesc(cam, 0x106, &desc); }, VOK_ERR_SESSION_NOT_OPEN},
      {"status command", [&] { return VokSendStatusCommand(cam, 0, 0); }, VOK_ERR_SESSION_NOT_OPEN},
      {"capacity", [&] { return VokSetCapacity(cam, 0x7FFFFFFF, 0x1000, 1); }, VOK_ERR_SESSION_NOT_OPEN},
      {"command", [&] { return VokSendCommand(cam, 0, 0); }, VOK_ERR_SESSION_NOT_OPEN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(), c.closed);
  }
  ASSERT_EQ(VokOpenSession(cam), VOK_ERR_OK);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(), VOK_ERR_OK);
  }
  VokRelease(cam);
}

using Properties = SimTest;

TEST_F(Properties, ReadsAndWritesMustGiveThePropertysOwnSize) {
  VokCameraRef cam = openCamera();
  sim().setProperty(camera, 0x106, vok::sim::PropertyValue::uint32(0x01020304));
  VokDataType type = 0;
  VokUInt32 size = 0;
  // A text sits in a field of 256 bytes.
  ASSERT_EQ(VokGetPropertySize(cam, 0x2, 0, &type, &size), VOK_ERR_OK);
  EXPECT_EQ(type, kVokDataType_String);
  EXPECT_EQ(size, 256u);

  unsigned char buffer[300];
  struct Case {
    const char* label;
    VokPropertyID id;
    VokUInt32 size;
    VokError read;
  };
  const Case cases[] = {
      {"number", 0x106, 4, VOK_ERR_OK},
      {"number, short", 0x106, 3, VOK_ERR_INVALID_PARAMETER},
      {"number, long", 0x106, 8, VOK_ERR_INVALID_PARAMETER},
      {"text", 0x2, 256, VOK_ERR_OK},
      {"text, its length", 0x2, 18, VOK_ERR_INVALID_PARAMETER},
      {"text, long", 0x2, 300, VOK_ERR_INVALID_PARAMETER},
      {"unknown", 0x999, 4, VOK_ERR_PROPERTY_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(VokGetPropertyData(cam, c.id, 0, c.size, buffer), c.read);
    // A refused read leaves the buffer alone.
    if (c.read != VOK_ERR_OK) {
      EXPECT_EQ(buffer[0], 0xAA);
    }
  }
  std::memset(buffer, 0xAA, sizeof buffer);
  ASSERT_EQ(VokGetPropertyData(cam, 0x2, 0, 256, buffer), VOK_ERR_OK);
  EXPECT_STREQ(reinterpret_cast<const char*>(buffer), "Orvell Tavo Quill");
  EXPECT_EQ(buffer[255], 0);

  // A known property takes only a value of its size and keeps its old one otherwise.
  const unsigned char eight[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_EQ(VokSetPropertyData(cam, 0x106, 0, 8, eight), VOK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(VokSetPropertyData(cam, 0x106, 0, 2, eight), VOK_ERR_INVALID_PARAMETER);
  EXPECT_EQ(sim().property(camera, 0x106)->bytes, vok::sim::PropertyValue::uint32(0x01020304).bytes);
  EXPECT_EQ(VokSetPropertyData(cam, 0x106, 0, 4, eight), VOK_ERR_OK);
  EXPECT_EQ(sim().property(camera, 0x106)->bytes, (std::vector<std::uint8_t>{9, 9, 9, 9}));

  // A text longer than its field is cut to fit, terminator included.
  EXPECT_EQ(vok::sim::PropertyValue::string(std::string(300, 'x')).bytes.size(), 256u);
  EXPECT_EQ(vok::sim::PropertyValue::string(std::string(300, 'x')).bytes.back(), 0);
  VokRelease(cam);
}

TEST_F(Properties, WriteStoresBytesKeepingTheKnownDataType) {
  VokCameraRef cam = openCamera();
  sim().setProperty(camera, 0x500, vok::sim::PropertyValue::uint32(1, kVokDataType_Int32));
  const VokUInt32 five = 5;
  const unsigned char block[6] = {1, 2, 3, 4, 5, 6};
  ASSERT_EQ(VokSetPropertyData(cam, 0x500, 0, 4, &five), VOK_ERR_OK);
  ASSERT_EQ(VokSetPropertyData(cam, 0x900, 0, 4, &five), VOK_ERR_OK);
  ASSERT_EQ(VokSetPropertyData(cam, 0x901, 0, sizeof block, block), VOK_ERR_OK);
  struct Case {
    VokPropertyID id;
    VokDataType type;
    std::size_t size;
  };
  for (const Case& c : {Case{0x500, kVokDataType_Int32, 4}, Case{0x900, kVokDataType_UInt32, 4},
                        Case{0x901, kVokDataType_ByteBlock, 6}}) {
    SCOPED_TRACE(c.id);
    const auto stored = sim().property(camera, c.id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->dataType, c.type);
    EXPECT_EQ(stored->bytes.size(), c.size);
  }
  EXPECT_EQ(sim().property(camera, 0x500)->bytes, vok::sim::PropertyValue::uint32(5).bytes);
  VokRelease(cam);
}

TEST_F(Properties, DeviceInfoTextsAreBoundedAndTerminated) {
  vok::sim::CameraSpec spec;
  spec.portName = std::string(300, 'p');
  sim().reset();
  sim().addCamera(spec);
  ASSERT_EQ(VokInitializeSDK(), VOK_ERR_OK);
  VokCameraRef cam = firstCamera();
  tagVokDeviceInfo info;
  std::memset(&info, 0x55, sizeof info);
  ASSERT_EQ(VokGetDeviceInfo(cam, &info), VOK_ERR_OK);
  EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(info.szPortName)), 255u);
  EXPECT_STREQ(reinterpret_cast<const char*>(info.szDeviceDescription), "Orvell Tavo Quill");
  VokRelease(cam);
}

using CallLog = SimTest;

TEST_F(CallLog, RecordsArgumentsStatusTimeAndThreadAndWritesLines) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("calls.log"));
  sim().setTimeSource([] { return 12.5034; });
  sim().setCallLogFile(path.toStdString());

  VokCameraRef cam = firstCamera();
  char buffer[256];
  const VokUInt32 two = 2;
  EXPECT_EQ(VokGetPropertyData(cam, 0x2, 0, sizeof buffer, buffer), VOK_ERR_OK);
  EXPECT_EQ(VokSetPropertyData(cam, 0xB, 0, 4, &two), VOK_ERR_SESSION_NOT_OPEN);
  EXPECT_EQ(VokSetPropertyEventHandler(cam, kVokPropertyEvent_All, nullptr, nullptr), VOK_ERR_OK);

  const auto read = sim().calls("VokGetPropertyData");
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].ref, cam);
  EXPECT_EQ(read[0].args, (std::vector<std::uint64_t>{0x2, 0, 256}));
  EXPECT_EQ(read[0].status, VOK_ERR_OK);
  EXPECT_DOUBLE_EQ(read[0].time, 12.5034);
  EXPECT_EQ(read[0].thread, "T1");
  EXPECT_EQ(sim().calls("VokSetPropertyData").at(0).args, (std::vector<std::uint64_t>{0xB, 0, 4, 2}));
  EXPECT_EQ(sim().calls("VokSetPropertyEventHandler").at(0).args, (std::vector<std::uint64_t>{0x100, 0}));

  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  EXPECT_TRUE(lines.contains(QStringLiteral("12.503 T1 VokGetPropertyData ref=cam1#2 0x2 0 256 -> 0x0")))
      << lines.join(QLatin1Char('\n')).toStdString();
  EXPECT_TRUE(lines.contains(QStringLiteral("12.503 T1 VokSetPropertyData ref=cam1#2 0xb 0 4 0x2 -> 0x64")));
  EXPECT_TRUE(lines.contains(QStringLiteral("12.503 T1 VokRelease ref=list#1 -> 0x0")));
  sim().setCallLogFile({});
  VokRelease(cam);
}
