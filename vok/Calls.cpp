// The SDK's C calls, served by the simulator. Each call validates its references first (a
// released one is always VOK_ERR_INVALID_HANDLE), then answers a scripted status if there is
// one, then does its work; every call is logged with the status it returned.

#include <algorithm>
#include <cstring>
#include <map>

#include "vok/Entry.h"

namespace vok::sim {
namespace {

// Ids the program reads during detection, before the camera's session is open.
bool readableWithoutSession(VokPropertyID id) { return id == 0x2 || id == 0x7; }

// Its own setting, which the program writes while opening the session; not a camera property.
constexpr VokPropertyID kProgramSetting = 0xB;

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

// The children of a camera (its volumes, even before the session opens: detection probes
// them) or of a card folder (its entries), by card entry id.
VokError childrenOf(Entry& e, VokObject* object, const std::vector<int>*& children) {
  if (object->kind == Kind::Camera) {
    CameraState* cam = e.s.pluggedCamera(object);
    if (!cam) {
      return VOK_ERR_DEVICE_NOT_FOUND;
    }
    children = &cam->volumes;
    return VOK_ERR_OK;
  }
  CameraState* cam = nullptr;
  if (const VokError status = sessionCamera(e.s, object, cam)) {
    return status;
  }
  const CardNode* node = cam->entry(object->entry);
  if (!node) {
    return VOK_ERR_ITEM_GONE;
  }
  children = &node->children;
  return VOK_ERR_OK;
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
  if (object->kind != Kind::Camera && object->kind != Kind::Volume && object->kind != Kind::Item) {
    return e.done(VOK_ERR_NOT_SUPPORTED);
  }
  const std::vector<int>* children = nullptr;
  if (const VokError status = childrenOf(e, object, children)) {
    return e.done(status);
  }
  *outCount = static_cast<VokUInt32>(children->size());
  return e.done(VOK_ERR_OK);
}

VokError VokGetChildAtIndex(VokBaseRef ref, VokInt32 index, VokBaseRef* outChild) {
  Entry e("VokGetChildAtIndex", true, ref, {sgn(index)});
  VokObject* object = nullptr;
  if (auto st = e.enter({{ref, kindBit(Kind::CameraList) | kCamera | kVolume | kItem, &object}},
                        outChild != nullptr && index >= 0)) {
    return e.done(*st);
  }
  const auto at = static_cast<std::size_t>(index);
  if (object->kind == Kind::CameraList) {
    if (at >= object->cameras.size()) {
      return e.done(VOK_ERR_INVALID_PARAMETER);
    }
    const auto [id, epoch] = object->cameras[at];
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
  const std::vector<int>* children = nullptr;
  if (const VokError status = childrenOf(e, object, children)) {
    return e.done(status);
  }
  if (at >= children->size()) {
    return e.done(VOK_ERR_INVALID_PARAMETER);
  }
  VokObject* child =
      e.s.makeObject(object->kind == Kind::Camera ? Kind::Volume : Kind::Item, object->camera, object->epoch);
  child->entry = (*children)[at];
  *outChild = child;
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
  if (auto st = e.enter({{ref, kCamera | kEvfImage, &object}}, outType && outSize, id)) {
    return e.done(*st);
  }
  auto answer = [&](const std::map<VokPropertyID, PropertyValue>& properties) {
    auto it = properties.find(id);
    if (it == properties.end()) {
      return VOK_ERR_PROPERTY_NOT_FOUND;
    }
    *outType = it->second.dataType;
    *outSize = static_cast<VokUInt32>(it->second.bytes.size());
    return VOK_ERR_OK;
  };
  if (object->kind == Kind::EvfImage) {
    return e.done(answer(object->properties));
  }
  return e.done(onOpenSession(e, object, [&](CameraState& cam) { return answer(cam.properties); }));
}

VokError VokGetPropertyData(VokBaseRef ref, VokPropertyID id, VokInt32 param, VokUInt32 size, void* out) {
  Entry e("VokGetPropertyData", true, ref, {hex(id), sgn(param), dec(size)});
  VokObject* object = nullptr;
  if (auto st = e.enter({{ref, kCamera | kEvfImage, &object}}, size == 0 || out != nullptr, id)) {
    return e.done(*st);
  }
  // As a camera does, a read must ask for exactly the value's size.
  auto copy = [&](const std::vector<std::uint8_t>& bytes) {
    if (size != bytes.size()) {
      return VOK_ERR_INVALID_PARAMETER;
    }
    if (size > 0) {
      std::memcpy(out, bytes.data(), size);
    }
    return VOK_ERR_OK;
  };
  if (object->kind == Kind::EvfImage) {
    // A fetched frame's own values; nothing before the first fetch.
    auto it = object->properties.find(id);
    return e.done(it == object->properties.end() ? VOK_ERR_PROPERTY_NOT_FOUND : copy(it->second.bytes));
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
  if (id == 0x2 && cam->sessionOpen && cam->emptyNameReads > 0 && size == it->second.bytes.size()) {
    --cam->emptyNameReads;
    if (size > 0) {
      static_cast<std::uint8_t*>(out)[0] = 0;
    }
    return e.done(VOK_ERR_OK);
  }
  return e.done(copy(it->second.bytes));
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
      // A known property takes a value of its own size only.
      if (size != it->second.bytes.size()) {
        return VOK_ERR_INVALID_PARAMETER;
      }
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
  return e.done(onOpenSession(e, object, [&](CameraState& cam) {
    if (command != kVokCameraCommand_PressShutterButton) {
      return VOK_ERR_OK;
    }
    // A full press takes the picture once the button is let go; the camera then offers it.
    if (param == kVokShutterButton_Completely) {
      cam.shutterDown = true;
    } else if (param == kVokShutterButton_Off && cam.shutterDown) {
      cam.shutterDown = false;
      if (const int picture = cam.takePicture()) {
        Event event{object->camera, cam.epoch, EventKind::Object, kVokObjectEvent_DirItemRequestTransfer, 0, 0, false, 0};
        event.entry = picture;
        e.s.push(event);
      }
    }
    return VOK_ERR_OK;
  }));
}

VokError VokSetFramePoint(VokCameraRef camera, tagVokPoint point, VokBool lockAF) {
  Entry e("VokSetFramePoint", true, camera, {sgn(point.x), sgn(point.y), sgn(lockAF)});
  VokObject* object = nullptr;
  if (auto st = e.enter({{camera, kCamera, &object}})) {
    return e.done(*st);
  }
  return e.done(onOpenSession(e, object, [](CameraState&) { return VOK_ERR_OK; }));
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
