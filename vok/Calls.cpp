// The SDK's C calls, served by the simulator. Each call validates its references first (a
// released one is always VOK_ERR_INVALID_HANDLE), then answers a scripted status if there is
// one, then does its work; every call is logged with the status it returned.

#include <algorithm>
#include <cstring>

#include "vok/SimulatorImpl.h"

namespace vok::sim {
namespace {

using Kind = VokObject::Kind;

constexpr KindMask kCamera = kindBit(Kind::Camera);
constexpr KindMask kStream = kindBit(Kind::Stream);
constexpr KindMask kItem = kindBit(Kind::Item);

// Ids the program reads during detection, before the camera's session is open.
bool readableWithoutSession(VokPropertyID id) { return id == 0x2 || id == 0x7; }

// Its own setting, which the program writes while opening the session; not a camera property.
constexpr VokPropertyID kProgramSetting = 0xB;

struct RefArg {
  VokBaseRef ref;
  KindMask kinds;
  VokObject** out;
};

// One SDK call in progress: holds the lock and logs the call when it answers.
class Entry {
 public:
  Entry(const char* name, bool hasRef, VokBaseRef ref, std::vector<Arg> args)
      : s(Simulator::Impl::get()), lock(s.mutex), name_(name), hasRef_(hasRef), ref_(ref), args_(std::move(args)) {}

  // The checks that come before a call's work. Returns the status that ends the call, if any.
  std::optional<VokError> enter(std::initializer_list<RefArg> refs, bool parametersValid = true,
                                std::optional<VokPropertyID> id = std::nullopt, bool releasing = false) {
    if (!s.initialized) {
      if (s.everTerminated) {
        ++s.stats.callsAfterTerminate;
      }
      return VOK_ERR_NOT_INITIALIZED;
    }
    const VokObject* first = nullptr;
    for (const RefArg& arg : refs) {
      if (!arg.ref) {
        return VOK_ERR_INVALID_PARAMETER;
      }
      VokObject* object = s.find(arg.ref);
      if (!object) {
        ++s.stats.unknownReferences;
        return VOK_ERR_INVALID_HANDLE;
      }
      if (object->count <= 0) {
        ++(releasing ? s.stats.doubleReleases : s.stats.useAfterRelease);
        return VOK_ERR_INVALID_HANDLE;
      }
      if ((kindBit(object->kind) & arg.kinds) == 0) {
        return VOK_ERR_INVALID_HANDLE;
      }
      *arg.out = object;
      if (!first) {
        first = object;
      }
    }
    if (!parametersValid) {
      return VOK_ERR_INVALID_PARAMETER;
    }
    return s.scripted(name_, id, first);
  }

  VokError done(VokError status) {
    s.record(name_, hasRef_, ref_, args_, status);
    return status;
  }
  // For a call whose log line carries a value known only after its work.
  void addArg(Arg arg) { args_.push_back(arg); }

  Simulator::Impl& s;
  std::unique_lock<std::mutex> lock;

 private:
  std::string name_;
  bool hasRef_;
  VokBaseRef ref_;
  std::vector<Arg> args_;
};

void copyText(std::int8_t* out, std::size_t capacity, const std::string& text) {
  const std::size_t n = std::min(text.size(), capacity - 1);
  std::memcpy(out, text.data(), n);
  out[n] = 0;
}

template <typename Fn>
VokError setHandler(const char* name, EventKind kind, HandlerSlot<Fn> Handlers::*slot, VokCameraRef camera,
                    VokUInt32 filter, Fn handler, void* context) {
  Entry e(name, true, camera, {hex(filter), dec(handler ? 1 : 0)});
  static constexpr VokUInt32 kFamily[] = {kVokObjectEvent_All, kVokPropertyEvent_All, kVokStateEvent_All};
  const bool filterValid = !handler || (filter & 0xFFFFFF00u) == kFamily[static_cast<int>(kind)];
  VokObject* object = nullptr;
  if (auto status = e.enter({{camera, kCamera, &object}}, filterValid)) {
    return e.done(*status);
  }
  CameraState* cam = e.s.pluggedCamera(object);
  if (!cam) {
    return e.done(VOK_ERR_DEVICE_NOT_FOUND);
  }
  cam->handlers.*slot = handler ? HandlerSlot<Fn>{handler, context, filter} : HandlerSlot<Fn>{};
  // The old handler may be running on the event thread: it must be done before we answer.
  e.s.waitHandlerIdle(e.lock, object->camera, kind);
  return e.done(VOK_ERR_OK);
}

// The work shared by calls that need the camera's open session.
template <typename Work>
VokError onOpenSession(Entry& e, VokObject* camera, Work work) {
  CameraState* cam = e.s.pluggedCamera(camera);
  if (!cam) {
    return VOK_ERR_DEVICE_NOT_FOUND;
  }
  if (!cam->sessionOpen) {
    return VOK_ERR_SESSION_NOT_OPEN;
  }
  return work(*cam);
}

}  // namespace
}  // namespace vok::sim

using namespace vok::sim;

// --- life ---

VokError VokInitializeSDK() {
  std::vector<std::thread> stale;
  VokError status = VOK_ERR_OK;
  {
    Entry e("VokInitializeSDK", false, nullptr, {});
    if (auto scripted = e.s.scripted("VokInitializeSDK", std::nullopt, nullptr)) {
      return e.done(*scripted);
    }
    e.s.initialized = true;
    ++e.s.initializeCount;
    e.s.startEvents();
    // Threads stopped from inside a handler earlier can be joined now, unless that is us.
    for (std::thread& t : e.s.retiredThreads) {
      if (t.joinable() && t.get_id() != std::this_thread::get_id()) {
        e.s.eventThreadIds.erase(t.get_id());
        stale.push_back(std::move(t));
      }
    }
    std::erase_if(e.s.retiredThreads, [](const std::thread& t) { return !t.joinable(); });
    status = e.done(VOK_ERR_OK);
  }
  joinAll(stale);
  return status;
}

VokError VokTerminateSDK() {
  std::vector<std::thread> threads;
  VokError status = VOK_ERR_OK;
  {
    Entry e("VokTerminateSDK", false, nullptr, {});
    if (auto st = e.enter({})) {
      return e.done(*st);
    }
    e.s.stats.leakedAtTerminate = e.s.stats.live;
    e.s.initialized = false;
    e.s.everTerminated = true;
    ++e.s.terminateCount;
    for (auto& [id, cam] : e.s.cameras) {
      cam.handlers = {};
      cam.sessionOpen = false;
    }
    e.s.stopEvents(threads);
    status = e.done(VOK_ERR_OK);
  }
  // Joining the event thread is what makes "no handler runs after terminate" hold.
  Simulator::instance().impl().stopTimer();
  joinAll(threads);
  return status;
}

// --- objects ---

VokError VokGetCameraList(VokCameraListRef* outList) {
  Entry e("VokGetCameraList", false, nullptr, {});
  if (auto st = e.enter({}, outList != nullptr)) {
    return e.done(*st);
  }
  VokObject* list = e.s.makeObject(Kind::CameraList, 0, 0);
  for (const auto& [id, cam] : e.s.cameras) {
    if (cam.plugged) {
      list->cameras.emplace_back(id, cam.epoch);
    }
  }
  *outList = list;
  return e.done(VOK_ERR_OK);
}

VokError VokGetChildCount(VokBaseRef ref, VokUInt32* outCount) {
  Entry e("VokGetChildCount", true, ref, {});
  VokObject* object = nullptr;
  if (auto st = e.enter({{ref, kAnyKind, &object}}, outCount != nullptr)) {
    return e.done(*st);
  }
  if (object->kind == Kind::CameraList) {
    *outCount = static_cast<VokUInt32>(object->cameras.size());
    return e.done(VOK_ERR_OK);
  }
  if (object->kind != Kind::Camera) {
    return e.done(VOK_ERR_NOT_SUPPORTED);
  }
  CameraState* cam = e.s.pluggedCamera(object);
  if (!cam) {
    return e.done(VOK_ERR_DEVICE_NOT_FOUND);
  }
  *outCount = cam->spec.volumeCount;
  return e.done(VOK_ERR_OK);
}

VokError VokGetChildAtIndex(VokBaseRef ref, VokInt32 index, VokBaseRef* outChild) {
  Entry e("VokGetChildAtIndex", true, ref, {sgn(index)});
  VokObject* object = nullptr;
  if (auto st = e.enter({{ref, kindBit(Kind::CameraList) | kCamera, &object}}, outChild != nullptr && index >= 0)) {
    return e.done(*st);
  }
  if (object->kind == Kind::CameraList) {
    if (static_cast<std::size_t>(index) >= object->cameras.size()) {
      return e.done(VOK_ERR_INVALID_PARAMETER);
    }
    const auto [id, epoch] = object->cameras[static_cast<std::size_t>(index)];
    CameraState* cam = e.s.camera(id);
    if (!cam || !cam->plugged || cam->epoch != epoch) {
      return e.done(VOK_ERR_DEVICE_NOT_FOUND);
    }
    if (cam->current && cam->current->count > 0) {
      ++cam->current->count;
      ++e.s.stats.live;
    } else {
      cam->current = e.s.makeObject(Kind::Camera, id, epoch);
    }
    *outChild = cam->current;
    return e.done(VOK_ERR_OK);
  }
  CameraState* cam = e.s.pluggedCamera(object);
  if (!cam) {
    return e.done(VOK_ERR_DEVICE_NOT_FOUND);
  }
  if (static_cast<VokUInt32>(index) >= cam->spec.volumeCount) {
    return e.done(VOK_ERR_INVALID_PARAMETER);
  }
  *outChild = e.s.makeObject(Kind::Volume, object->camera, object->epoch);
  return e.done(VOK_ERR_OK);
}

VokError VokGetDeviceInfo(VokCameraRef camera, tagVokDeviceInfo* outInfo) {
  Entry e("VokGetDeviceInfo", true, camera, {});
  VokObject* object = nullptr;
  if (auto st = e.enter({{camera, kCamera, &object}}, outInfo != nullptr)) {
    return e.done(*st);
  }
  CameraState* cam = e.s.pluggedCamera(object);
  if (!cam) {
    return e.done(VOK_ERR_DEVICE_NOT_FOUND);
  }
  std::memset(outInfo, 0, sizeof *outInfo);
  copyText(outInfo->szPortName, sizeof outInfo->szPortName, cam->spec.portName);
  const std::string& description =
      cam->spec.deviceDescription.empty() ? cam->spec.productName : cam->spec.deviceDescription;
  copyText(outInfo->szDeviceDescription, sizeof outInfo->szDeviceDescription, description);
  return e.done(VOK_ERR_OK);
}

VokError VokRelease(VokBaseRef ref) {
  Entry e("VokRelease", true, ref, {});
  VokObject* object = nullptr;
  if (auto st = e.enter({{ref, kAnyKind, &object}}, true, std::nullopt, /*releasing=*/true)) {
    return e.done(*st);
  }
  e.s.release(object, e.lock);
  return e.done(VOK_ERR_OK);
}

// --- session ---

VokError VokOpenSession(VokCameraRef camera) {
  Entry e("VokOpenSession", true, camera, {});
  VokObject* object = nullptr;
  if (auto st = e.enter({{camera, kCamera, &object}})) {
    return e.done(*st);
  }
  CameraState* cam = e.s.pluggedCamera(object);
  if (!cam) {
    return e.done(VOK_ERR_DEVICE_NOT_FOUND);
  }
  cam->sessionOpen = true;
  return e.done(VOK_ERR_OK);
}

VokError VokSendStatusCommand(VokCameraRef camera, VokCameraStatusCommand command, VokInt32 param) {
  Entry e("VokSendStatusCommand", true, camera, {dec(command), sgn(param)});
  VokObject* object = nullptr;
  if (auto st = e.enter({{camera, kCamera, &object}})) {
    return e.done(*st);
  }
  return e.done(onOpenSession(e, object, [](CameraState&) { return VOK_ERR_OK; }));
}

VokError VokSetCapacity(VokCameraRef camera, VokInt32 numberOfFreeClusters, VokInt32 bytesPerSector,
                        VokInt32 reset) {
  Entry e("VokSetCapacity", true, camera, {sgn(numberOfFreeClusters), sgn(bytesPerSector), sgn(reset)});
  VokObject* object = nullptr;
  if (auto st = e.enter({{camera, kCamera, &object}})) {
    return e.done(*st);
  }
  return e.done(onOpenSession(e, object, [](CameraState&) { return VOK_ERR_OK; }));
}

// --- properties ---

VokError VokGetPropertySize(VokBaseRef ref, VokPropertyID id, VokInt32 param, VokDataType* outType,
                            VokUInt32* outSize) {
  Entry e("VokGetPropertySize", true, ref, {hex(id), sgn(param)});
  VokObject* object = nullptr;
  if (auto st = e.enter({{ref, kCamera, &object}}, outType && outSize, id)) {
    return e.done(*st);
  }
  return e.done(onOpenSession(e, object, [&](CameraState& cam) {
    auto it = cam.properties.find(id);
    if (it == cam.properties.end()) {
      return VOK_ERR_PROPERTY_NOT_FOUND;
    }
    *outType = it->second.dataType;
    *outSize = static_cast<VokUInt32>(it->second.bytes.size());
    return VOK_ERR_OK;
  }));
}

VokError VokGetPropertyData(VokBaseRef ref, VokPropertyID id, VokInt32 param, VokUInt32 size, void* out) {
  Entry e("VokGetPropertyData", true, ref, {hex(id), sgn(param), dec(size)});
  VokObject* object = nullptr;
  if (auto st = e.enter({{ref, kCamera, &object}}, size == 0 || out != nullptr, id)) {
    return e.done(*st);
  }
  CameraState* cam = e.s.pluggedCamera(object);
  if (!cam) {
    return e.done(VOK_ERR_DEVICE_NOT_FOUND);
  }
  if (!cam->sessionOpen && !readableWithoutSession(id)) {
    return e.done(VOK_ERR_SESSION_NOT_OPEN);
  }
  auto it = cam->properties.find(id);
  if (it == cam->properties.end()) {
    return e.done(VOK_ERR_PROPERTY_NOT_FOUND);
  }
  if (id == 0x2 && cam->sessionOpen && cam->emptyNameReads > 0) {
    --cam->emptyNameReads;
    if (size > 0) {
      static_cast<std::uint8_t*>(out)[0] = 0;
    }
    return e.done(VOK_ERR_OK);
  }
  const std::vector<std::uint8_t>& bytes = it->second.bytes;
  // Never past the caller's buffer, whatever the stored value's size.
  const std::size_t n = std::min<std::size_t>(size, bytes.size());
  if (n > 0) {
    std::memcpy(out, bytes.data(), n);
  }
  return e.done(VOK_ERR_OK);
}

VokError VokSetPropertyData(VokBaseRef ref, VokPropertyID id, VokInt32 param, VokUInt32 size, const void* in) {
  std::vector<Arg> args{hex(id), sgn(param), dec(size)};
  if (size >= 4 && in) {
    const auto* b = static_cast<const std::uint8_t*>(in);
    args.push_back(hex(b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint64_t>(b[3]) << 24));
  }
  Entry e("VokSetPropertyData", true, ref, std::move(args));
  VokObject* object = nullptr;
  if (auto st = e.enter({{ref, kCamera, &object}}, size == 0 || in != nullptr, id)) {
    return e.done(*st);
  }
  return e.done(onOpenSession(e, object, [&](CameraState& cam) {
    const auto* begin = static_cast<const std::uint8_t*>(in);
    std::vector<std::uint8_t> bytes(begin, begin + size);
    auto it = cam.properties.find(id);
    if (it != cam.properties.end()) {
      it->second.bytes = std::move(bytes);
    } else {
      const VokDataType type = size == 4 ? kVokDataType_UInt32 : kVokDataType_ByteBlock;
      cam.properties.emplace(id, PropertyValue::raw(type, std::move(bytes)));
    }
    if (id != kProgramSetting) {
      e.s.push({object->camera, cam.epoch, EventKind::Property, kVokPropertyEvent_PropertyChanged, id, 0, false, 0});
    }
    return VOK_ERR_OK;
  }));
}

VokError VokGetPropertyDesc(VokBaseRef ref, VokPropertyID id, tagVokPropertyDesc* outDesc) {
  Entry e("VokGetPropertyDesc", true, ref, {hex(id)});
  VokObject* object = nullptr;
  if (auto st = e.enter({{ref, kCamera, &object}}, outDesc != nullptr, id)) {
    return e.done(*st);
  }
  return e.done(onOpenSession(e, object, [&](CameraState& cam) {
    auto it = cam.descriptors.find(id);
    if (it == cam.descriptors.end()) {
      return VOK_ERR_PROPERTY_NOT_FOUND;
    }
    *outDesc = it->second;
    return VOK_ERR_OK;
  }));
}

// --- commands ---

VokError VokSendCommand(VokCameraRef camera, VokCameraCommand command, VokInt32 param) {
  Entry e("VokSendCommand", true, camera, {hex(command), sgn(param)});
  VokObject* object = nullptr;
  if (auto st = e.enter({{camera, kCamera, &object}})) {
    return e.done(*st);
  }
  return e.done(onOpenSession(e, object, [](CameraState&) { return VOK_ERR_OK; }));
}

VokError VokSetFramePoint(VokCameraRef camera, tagVokPoint point, VokBool lockAF) {
  Entry e("VokSetFramePoint", true, camera, {sgn(point.x), sgn(point.y), sgn(lockAF)});
  VokObject* object = nullptr;
  if (auto st = e.enter({{camera, kCamera, &object}})) {
    return e.done(*st);
  }
  return e.done(onOpenSession(e, object, [](CameraState&) { return VOK_ERR_OK; }));
}

// --- files: validated and logged; the transfers themselves are not simulated yet ---

namespace {

VokError notSupportedOn(const char* name, VokBaseRef ref, KindMask kinds, std::vector<Arg> args = {}) {
  Entry e(name, true, ref, std::move(args));
  VokObject* object = nullptr;
  if (auto st = e.enter({{ref, kinds, &object}})) {
    return e.done(*st);
  }
  if (object->camera != 0 && !e.s.pluggedCamera(object)) {
    return e.done(VOK_ERR_DEVICE_NOT_FOUND);
  }
  return e.done(VOK_ERR_NOT_SUPPORTED);
}

}  // namespace

VokError VokGetDirectoryItemInfo(VokDirectoryItemRef item, tagVokDirectoryItemInfo* outInfo) {
  Entry e("VokGetDirectoryItemInfo", true, item, {});
  VokObject* object = nullptr;
  if (auto st = e.enter({{item, kItem, &object}}, outInfo != nullptr)) {
    return e.done(*st);
  }
  if (!e.s.pluggedCamera(object)) {
    return e.done(VOK_ERR_DEVICE_NOT_FOUND);
  }
  return e.done(VOK_ERR_NOT_SUPPORTED);
}

VokError VokCreateFileStream(const char* path, VokUInt32 disposition, VokUInt32 access, VokStreamRef* outStream) {
  Entry e("VokCreateFileStream", false, nullptr, {dec(disposition), dec(access)});
  if (auto st = e.enter({}, path != nullptr && outStream != nullptr)) {
    return e.done(*st);
  }
  *outStream = e.s.makeObject(Kind::Stream, 0, 0);
  return e.done(VOK_ERR_OK);
}

VokError VokSetProgressCallback(VokStreamRef stream, VokProgressCallback callback, VokUInt32 option, void*) {
  return notSupportedOn("VokSetProgressCallback", stream, kStream, {dec(option), dec(callback ? 1 : 0)});
}

VokError VokDownload(VokDirectoryItemRef item, VokUInt64 size, VokStreamRef stream) {
  Entry e("VokDownload", true, item, {dec(size)});
  VokObject* itemObject = nullptr;
  VokObject* streamObject = nullptr;
  if (auto st = e.enter({{item, kItem, &itemObject}, {stream, kStream, &streamObject}})) {
    return e.done(*st);
  }
  if (!e.s.pluggedCamera(itemObject)) {
    return e.done(VOK_ERR_DEVICE_NOT_FOUND);
  }
  return e.done(VOK_ERR_NOT_SUPPORTED);
}

VokError VokDownloadComplete(VokDirectoryItemRef item) {
  return notSupportedOn("VokDownloadComplete", item, kItem);
}

VokError VokDeleteDirectoryItem(VokDirectoryItemRef item) {
  return notSupportedOn("VokDeleteDirectoryItem", item, kItem);
}

VokError VokFormatVolume(VokVolumeRef volume) {
  return notSupportedOn("VokFormatVolume", volume, kindBit(Kind::Volume));
}

// --- live view ---

VokError VokCreateMemoryStream(VokUInt64 bufferSize, VokStreamRef* outStream) {
  Entry e("VokCreateMemoryStream", false, nullptr, {dec(bufferSize)});
  if (auto st = e.enter({}, outStream != nullptr)) {
    return e.done(*st);
  }
  VokObject* stream = e.s.makeObject(Kind::Stream, 0, 0);
  stream->memoryStream = true;
  *outStream = stream;
  return e.done(VOK_ERR_OK);
}

VokError VokCreateEvfImageRef(VokStreamRef stream, VokEvfImageRef* outImage) {
  Entry e("VokCreateEvfImageRef", true, stream, {});
  VokObject* object = nullptr;
  if (auto st = e.enter({{stream, kStream, &object}}, outImage != nullptr)) {
    return e.done(*st);
  }
  *outImage = e.s.makeObject(Kind::EvfImage, 0, 0);
  return e.done(VOK_ERR_OK);
}

VokError VokDownloadEvfImage(VokCameraRef camera, VokEvfImageRef image) {
  Entry e("VokDownloadEvfImage", true, camera, {});
  VokObject* cameraObject = nullptr;
  VokObject* imageObject = nullptr;
  if (auto st = e.enter({{camera, kCamera, &cameraObject}, {image, kindBit(Kind::EvfImage), &imageObject}})) {
    return e.done(*st);
  }
  return e.done(onOpenSession(e, cameraObject, [](CameraState&) { return VOK_ERR_NOT_SUPPORTED; }));
}

// The program reads these two without looking at the status, so the out values are always
// set: a memory stream holds no frame yet and reads as empty.
VokError VokGetPointer(VokStreamRef stream, const void** outPointer) {
  Entry e("VokGetPointer", true, stream, {});
  VokObject* object = nullptr;
  if (auto st = e.enter({{stream, kStream, &object}}, outPointer != nullptr)) {
    return e.done(*st);
  }
  *outPointer = nullptr;
  return e.done(object->memoryStream ? VOK_ERR_OK : VOK_ERR_NOT_SUPPORTED);
}

VokError VokGetLength(VokStreamRef stream, VokUInt64* outLength) {
  Entry e("VokGetLength", true, stream, {});
  VokObject* object = nullptr;
  if (auto st = e.enter({{stream, kStream, &object}}, outLength != nullptr)) {
    return e.done(*st);
  }
  *outLength = 0;
  return e.done(object->memoryStream ? VOK_ERR_OK : VOK_ERR_NOT_SUPPORTED);
}

// --- events ---

VokError VokSetObjectEventHandler(VokCameraRef camera, VokObjectEvent filter, VokObjectEventHandler handler,
                                  void* context) {
  return setHandler("VokSetObjectEventHandler", EventKind::Object, &Handlers::object, camera, filter, handler,
                    context);
}

VokError VokSetPropertyEventHandler(VokCameraRef camera, VokPropertyEvent filter, VokPropertyEventHandler handler,
                                    void* context) {
  return setHandler("VokSetPropertyEventHandler", EventKind::Property, &Handlers::property, camera, filter,
                    handler, context);
}

VokError VokSetCameraStateEventHandler(VokCameraRef camera, VokStateEvent filter, VokStateEventHandler handler,
                                       void* context) {
  return setHandler("VokSetCameraStateEventHandler", EventKind::State, &Handlers::state, camera, filter,
                    handler, context);
}
