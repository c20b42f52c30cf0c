#pragma once

// The camera SDK's C interface as Ravlio calls it. Every call returns a 32-bit status, 0 for
// success; an out value counts only after status 0. References are opaque pointers that the
// caller releases with VokRelease.

#include <cstddef>
#include <cstdint>

using VokUInt32 = std::uint32_t;
using VokInt32 = std::int32_t;
using VokUInt64 = std::uint64_t;
using VokError = std::uint32_t;
using VokBool = std::int32_t;

struct VokObject;
using VokBaseRef = VokObject*;
using VokCameraListRef = VokBaseRef;
using VokCameraRef = VokBaseRef;
using VokVolumeRef = VokBaseRef;
using VokDirectoryItemRef = VokBaseRef;
using VokStreamRef = VokBaseRef;
using VokEvfImageRef = VokBaseRef;
using VokPropertyID = VokUInt32;
using VokDataType = VokUInt32;
using VokObjectEvent = VokUInt32;
using VokPropertyEvent = VokUInt32;
using VokStateEvent = VokUInt32;
using VokCameraCommand = VokUInt32;
using VokCameraStatusCommand = VokUInt32;

// Statuses the program compares.
inline constexpr VokError VOK_ERR_OK = 0x00000000;
inline constexpr VokError VOK_ERR_PROPERTIES_UNAVAILABLE = 0x00000050;
inline constexpr VokError VOK_ERR_COMM_DEVICE_INCOMPATIBLE = 0x00000061;
inline constexpr VokError VOK_ERR_DEVICE_BUSY = 0x00000081;
inline constexpr VokError VOK_ERR_OBJECT_NOTREADY = 0x0000A102;
// Statuses the program sets itself.
inline constexpr VokError VOK_ERR_NO_CAMERA = 0x00000080;
inline constexpr VokError VOK_ERR_NO_VOLUME = 0x00000040;

// Statuses of the simulated SDK, away from the values above.
inline constexpr VokError VOK_ERR_INTERNAL = 0x00000002;
inline constexpr VokError VOK_ERR_NOT_INITIALIZED = 0x00000003;
inline constexpr VokError VOK_ERR_NOT_SUPPORTED = 0x00000007;
inline constexpr VokError VOK_ERR_INVALID_PARAMETER = 0x00000060;
inline constexpr VokError VOK_ERR_INVALID_HANDLE = 0x00000062;
inline constexpr VokError VOK_ERR_PROPERTY_NOT_FOUND = 0x00000063;
inline constexpr VokError VOK_ERR_SESSION_NOT_OPEN = 0x00000064;
inline constexpr VokError VOK_ERR_DEVICE_NOT_FOUND = 0x00000065;
inline constexpr VokError VOK_ERR_BUFFER_TOO_SMALL = 0x00000066;
inline constexpr VokError VOK_ERR_ITEM_GONE = 0x00000067;         // deleted, or formatted away
inline constexpr VokError VOK_ERR_FILE_IO = 0x00000068;           // a file stream could not be made or written
inline constexpr VokError VOK_ERR_OPERATION_CANCELLED = 0x00000069;  // the progress callback cancelled

// Event filters and the events the program acts on.
inline constexpr VokUInt32 kVokPropertyEvent_All = 0x00000100;
inline constexpr VokUInt32 kVokPropertyEvent_PropertyChanged = 0x00000101;
inline constexpr VokUInt32 kVokPropertyEvent_PropertyDescChanged = 0x00000102;
inline constexpr VokUInt32 kVokObjectEvent_All = 0x00000200;
inline constexpr VokUInt32 kVokObjectEvent_DirItemRequestTransfer = 0x00000208;
inline constexpr VokUInt32 kVokStateEvent_All = 0x00000300;
inline constexpr VokUInt32 kVokStateEvent_Shutdown = 0x00000301;

// The shutter button command and its parameters; the live-view output device property and
// its bit for the computer.
inline constexpr VokCameraCommand kVokCameraCommand_PressShutterButton = 0x00000004;
inline constexpr VokInt32 kVokShutterButton_Off = 0;
inline constexpr VokInt32 kVokShutterButton_Halfway = 1;
inline constexpr VokInt32 kVokShutterButton_Completely = 3;
inline constexpr VokPropertyID kVokPropID_Evf_OutputDevice = 0x00000500;
inline constexpr VokUInt32 kVokEvfOutputDevice_PC = 0x00000002;

// Property data types.
inline constexpr VokDataType kVokDataType_String = 2;
inline constexpr VokDataType kVokDataType_Int32 = 8;
inline constexpr VokDataType kVokDataType_UInt32 = 9;
inline constexpr VokDataType kVokDataType_ByteBlock = 14;
inline constexpr VokDataType kVokDataType_Time = 23;
inline constexpr VokDataType kVokDataType_FocusInfo = 101;

#pragma pack(push, 1)
struct tagVokPoint {
  VokInt32 x;
  VokInt32 y;
};
struct tagVokSize {
  VokInt32 width;
  VokInt32 height;
};
struct tagVokRect {
  tagVokPoint point;
  tagVokSize size;
};
struct tagVokPropertyDesc {
  VokInt32 form;
  VokInt32 access;
  VokInt32 numElements;
  VokInt32 propDesc[128];
};
struct tagVokManualWBData {
  VokInt32 valid;
  VokInt32 dataSize;
  std::int8_t szCaption[32];
  std::int8_t data[8];
};
struct tagVokFrameDesc {
  VokUInt32 valid;
  VokUInt32 selected;
  VokUInt32 justFocus;
  tagVokRect rect;
  VokUInt32 reserved;
};
struct tagVokFocusInfo {
  tagVokRect imageRect;
  VokUInt32 pointNumber;
  tagVokFrameDesc focusPoint[1053];
  VokUInt32 executeMode;
};
struct tagVokTime {
  VokUInt32 year;
  VokUInt32 month;
  VokUInt32 day;
  VokUInt32 hour;
  VokUInt32 minute;
  VokUInt32 second;
  VokUInt32 milliseconds;
};
struct tagVokDeviceInfo {
  std::int8_t szPortName[256];
  std::int8_t szDeviceDescription[256];
  VokUInt32 deviceSubType;
  VokUInt32 reserved;
};
struct tagVokCameraPos {
  VokInt32 status;
  VokInt32 position;
  VokInt32 rolling;
  VokInt32 pitching;
};
struct VokEvfZoom {
  VokUInt32 rawValue;
};
// The directory-item record: size at 0, folder flag at 8, the NUL-terminated name from 20.
struct tagVokDirectoryItemInfo {
  VokUInt64 size;
  VokBool isFolder;
  VokUInt32 groupID;
  VokUInt32 option;
  std::int8_t szFileName[256];
  VokUInt32 format;
  VokUInt32 dateTime;
};
#pragma pack(pop)

static_assert(sizeof(tagVokPoint) == 8 && offsetof(tagVokPoint, y) == 4);
static_assert(sizeof(tagVokSize) == 8 && offsetof(tagVokSize, height) == 4);
static_assert(sizeof(tagVokRect) == 16 && offsetof(tagVokRect, size) == 8);
static_assert(sizeof(tagVokPropertyDesc) == 524 && offsetof(tagVokPropertyDesc, numElements) == 8 &&
              offsetof(tagVokPropertyDesc, propDesc) == 12);
static_assert(sizeof(tagVokManualWBData) == 48 && offsetof(tagVokManualWBData, szCaption) == 8 &&
              offsetof(tagVokManualWBData, data) == 40);
static_assert(sizeof(tagVokFrameDesc) == 32 && offsetof(tagVokFrameDesc, rect) == 12 &&
              offsetof(tagVokFrameDesc, reserved) == 28);
static_assert(sizeof(tagVokFocusInfo) == 33720 && offsetof(tagVokFocusInfo, pointNumber) == 16 &&
              offsetof(tagVokFocusInfo, focusPoint) == 20 && offsetof(tagVokFocusInfo, executeMode) == 33716);
static_assert(sizeof(tagVokTime) == 28 && offsetof(tagVokTime, milliseconds) == 24);
static_assert(sizeof(tagVokDeviceInfo) == 520 && offsetof(tagVokDeviceInfo, szDeviceDescription) == 256 &&
              offsetof(tagVokDeviceInfo, deviceSubType) == 512 && offsetof(tagVokDeviceInfo, reserved) == 516);
static_assert(sizeof(tagVokCameraPos) == 16 && offsetof(tagVokCameraPos, pitching) == 12);
static_assert(sizeof(VokEvfZoom) == 4);
static_assert(sizeof(tagVokDirectoryItemInfo) == 284 && offsetof(tagVokDirectoryItemInfo, isFolder) == 8 &&
              offsetof(tagVokDirectoryItemInfo, szFileName) == 20);

// Handlers, called on the SDK's own event thread. Each returns a status (Ravlio's return 0).
using VokObjectEventHandler = VokError (*)(VokObjectEvent event, VokBaseRef ref, void* context);
using VokPropertyEventHandler = VokError (*)(VokPropertyEvent event, VokPropertyID propertyID,
                                             VokUInt32 param, void* context);
using VokStateEventHandler = VokError (*)(VokStateEvent event, VokUInt32 param, void* context);
using VokProgressCallback = VokError (*)(VokUInt32 percent, void* context, VokBool* cancel);

// Life.
VokError VokInitializeSDK();
VokError VokTerminateSDK();

// Objects.
VokError VokGetCameraList(VokCameraListRef* outList);
VokError VokGetChildCount(VokBaseRef ref, VokUInt32* outCount);
VokError VokGetChildAtIndex(VokBaseRef ref, VokInt32 index, VokBaseRef* outChild);
VokError VokGetDeviceInfo(VokCameraRef camera, tagVokDeviceInfo* outInfo);
VokError VokRelease(VokBaseRef ref);

// Session.
VokError VokOpenSession(VokCameraRef camera);
VokError VokSendStatusCommand(VokCameraRef camera, VokCameraStatusCommand command, VokInt32 param);
VokError VokSetCapacity(VokCameraRef camera, VokInt32 numberOfFreeClusters, VokInt32 bytesPerSector,
                        VokInt32 reset);

// Properties.
VokError VokGetPropertySize(VokBaseRef ref, VokPropertyID id, VokInt32 param, VokDataType* outType,
                            VokUInt32* outSize);
VokError VokGetPropertyData(VokBaseRef ref, VokPropertyID id, VokInt32 param, VokUInt32 size, void* out);
VokError VokSetPropertyData(VokBaseRef ref, VokPropertyID id, VokInt32 param, VokUInt32 size, const void* in);
VokError VokGetPropertyDesc(VokBaseRef ref, VokPropertyID id, tagVokPropertyDesc* outDesc);

// Commands.
VokError VokSendCommand(VokCameraRef camera, VokCameraCommand command, VokInt32 param);
VokError VokSetFramePoint(VokCameraRef camera, tagVokPoint point, VokBool lockAF);

// Files.
VokError VokGetDirectoryItemInfo(VokDirectoryItemRef item, tagVokDirectoryItemInfo* outInfo);
VokError VokCreateFileStream(const char* path, VokUInt32 disposition, VokUInt32 access, VokStreamRef* outStream);
VokError VokSetProgressCallback(VokStreamRef stream, VokProgressCallback callback, VokUInt32 option,
                                void* context);
VokError VokDownload(VokDirectoryItemRef item, VokUInt64 size, VokStreamRef stream);
VokError VokDownloadComplete(VokDirectoryItemRef item);
VokError VokDeleteDirectoryItem(VokDirectoryItemRef item);
VokError VokFormatVolume(VokVolumeRef volume);

// Live view.
VokError VokCreateMemoryStream(VokUInt64 bufferSize, VokStreamRef* outStream);
VokError VokCreateEvfImageRef(VokStreamRef stream, VokEvfImageRef* outImage);
VokError VokDownloadEvfImage(VokCameraRef camera, VokEvfImageRef image);
VokError VokGetPointer(VokStreamRef stream, const void** outPointer);
VokError VokGetLength(VokStreamRef stream, VokUInt64* outLength);

// Events. A null handler removes the registration; once the call returns, the old handler is
// no longer running and will not be called again.
VokError VokSetObjectEventHandler(VokCameraRef camera, VokObjectEvent filter, VokObjectEventHandler handler,
                                  void* context);
VokError VokSetPropertyEventHandler(VokCameraRef camera, VokPropertyEvent filter,
                                    VokPropertyEventHandler handler, void* context);
VokError VokSetCameraStateEventHandler(VokCameraRef camera, VokStateEvent filter, VokStateEventHandler handler,
                                       void* context);
