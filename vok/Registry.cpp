// The reference registry, the scripted statuses and the call log of the simulated SDK.

#include <chrono>
#include <cinttypes>

#include "vok/SimulatorImpl.h"

void VokObject::dropContents() {
  buffer.reset();
  length = 0;
  if (file) {
    std::fclose(file);
    file = nullptr;
  }
  progress = nullptr;
  progressContext = nullptr;
  properties.clear();
  cameras.clear();
}

namespace vok::sim {

namespace {

std::string format(const Arg& arg) {
  char text[32];
  switch (arg.format) {
    case ArgFormat::Signed:
      std::snprintf(text, sizeof text, "%" PRId64, static_cast<std::int64_t>(arg.value));
      break;
    case ArgFormat::Hex:
      std::snprintf(text, sizeof text, "0x%" PRIx64, arg.value);
      break;
    case ArgFormat::Unsigned:
      std::snprintf(text, sizeof text, "%" PRIu64, arg.value);
      break;
  }
  return text;
}

const char* prefix(VokObject::Kind kind) {
  switch (kind) {
    case VokObject::Kind::CameraList: return "list";
    case VokObject::Kind::Camera: return "cam";
    case VokObject::Kind::Volume: return "vol";
    case VokObject::Kind::Item: return "item";
    case VokObject::Kind::Stream: return "stream";
    case VokObject::Kind::EvfImage: return "evf";
  }
  return "ref";
}

std::optional<VokError> takeNext(std::deque<VokError>& statuses) {
  if (statuses.empty()) {
    return std::nullopt;
  }
  const VokError status = statuses.front();
  statuses.pop_front();
  return status;
}

}  // namespace

Simulator::Impl::Impl() {
  const auto start = std::chrono::steady_clock::now();
  timeSource = [start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
}

Simulator::Impl::~Impl() {
  stopTimer();
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(mutex);
    stopEvents(threads);
  }
  joinAll(threads);
  if (logFile) {
    std::fclose(logFile);
  }
}

VokObject* Simulator::Impl::makeObject(VokObject::Kind kind, CameraId cameraId, int epoch) {
  auto object = std::make_unique<VokObject>();
  object->kind = kind;
  object->serial = ++nextSerial;
  object->uid = nextUid++;
  object->count = 1;
  object->camera = cameraId;
  object->epoch = epoch;
  VokObject* raw = object.get();
  objects.emplace(raw, std::move(object));
  byUid.emplace(raw->uid, raw);
  ++stats.live;
  return raw;
}

VokObject* Simulator::Impl::find(VokBaseRef ref) const {
  // Only compares the pointer: a pointer never handed out is not dereferenced.
  return objects.count(ref) ? ref : nullptr;
}

VokObject* Simulator::Impl::liveByUid(std::uint64_t uid) const {
  auto it = byUid.find(uid);
  return it != byUid.end() && it->second->count > 0 ? it->second : nullptr;
}

void Simulator::Impl::bury(VokObject* object) {
  object->dropContents();
  dead.push_back(object);
  while (dead.size() > kDeadShellLimit) {
    VokObject* oldest = dead.front();
    dead.pop_front();
    for (auto& [id, cam] : cameras) {
      if (cam.current == oldest) {
        cam.current = nullptr;
      }
    }
    byUid.erase(oldest->uid);
    objects.erase(oldest);  // a pointer this old now counts as unknown
  }
}

std::string Simulator::Impl::label(VokBaseRef ref) const {
  if (!ref) {
    return "null";
  }
  char text[64];
  const VokObject* object = find(ref);
  if (!object) {
    std::snprintf(text, sizeof text, "unknown(%p)", static_cast<const void*>(ref));
  } else if (object->camera != 0) {
    std::snprintf(text, sizeof text, "%s%d#%d", prefix(object->kind), object->camera, object->serial);
  } else {
    std::snprintf(text, sizeof text, "%s#%d", prefix(object->kind), object->serial);
  }
  return text;
}

void Simulator::Impl::release(VokObject* object, std::unique_lock<std::mutex>& lock) {
  --object->count;
  --stats.live;
  if (object->count > 0) {
    return;
  }
  if (object->kind != VokObject::Kind::Camera) {
    bury(object);
    return;
  }
  CameraState* cam = camera(object->camera);
  if (cam && cam->current == object) {
    // The camera object is gone, and with it what was registered on it.
    cam->current = nullptr;
    cam->handlers = {};
    waitHandlerIdle(lock, object->camera, std::nullopt);
  }
  // Looked up again: the wait above let other calls run.
  if (find(object) && object->count == 0) {
    bury(object);
  }
}

void Simulator::Impl::orphanAll() {
  std::vector<VokObject*> live;
  for (auto& [pointer, object] : objects) {
    if (object->count > 0) {
      live.push_back(object.get());
    }
  }
  for (VokObject* object : live) {
    object->count = 0;
    bury(object);
  }
  stats = {};
}

CameraState* Simulator::Impl::camera(CameraId id) {
  auto it = cameras.find(id);
  return it == cameras.end() ? nullptr : &it->second;
}

const CameraState* Simulator::Impl::camera(CameraId id) const {
  auto it = cameras.find(id);
  return it == cameras.end() ? nullptr : &it->second;
}

CameraState* Simulator::Impl::pluggedCamera(const VokObject* object) {
  CameraState* cam = camera(object->camera);
  return cam && cam->plugged && cam->epoch == object->epoch ? cam : nullptr;
}

void Simulator::Impl::takeOut(CameraId id) {
  CameraState* cam = camera(id);
  if (!cam) {
    return;
  }
  cam->plugged = false;
  cam->unplugPending = false;
  cam->sessionOpen = false;
  cam->handlers = {};
}

std::optional<VokError> Simulator::Impl::scripted(const std::string& call, std::optional<VokPropertyID> id,
                                                  const VokObject* first) {
  // A scripted VOK_ERR_OK lets that one call do its work.
  auto answer = [](VokError status) -> std::optional<VokError> {
    return status == VOK_ERR_OK ? std::nullopt : std::optional<VokError>(status);
  };
  if (id) {
    auto it = idScripts.find({call, *id});
    if (it != idScripts.end()) {
      if (auto status = takeNext(it->second)) {
        return answer(*status);
      }
    }
  }
  if (auto it = scripts.find(call); it != scripts.end()) {
    if (auto status = takeNext(it->second)) {
      return answer(*status);
    }
  }
  if (first && first->kind == VokObject::Kind::Camera) {
    if (CameraState* cam = camera(first->camera)) {
      if (auto it = cam->scripts.find(call); it != cam->scripts.end()) {
        if (auto status = takeNext(it->second)) {
          return answer(*status);
        }
      }
    }
  }
  if (auto it = failures.find(call); it != failures.end()) {
    return it->second;
  }
  return std::nullopt;
}

std::string Simulator::Impl::threadName() {
  const auto id = std::this_thread::get_id();
  auto it = threadNames.find(id);
  if (it == threadNames.end()) {
    it = threadNames.emplace(id, "T" + std::to_string(threadNames.size() + 1)).first;
  }
  return it->second;
}

void Simulator::Impl::record(const std::string& name, bool hasRef, VokBaseRef ref, const std::vector<Arg>& args,
                             VokError status) {
  Call call;
  call.name = name;
  call.ref = ref;
  for (const Arg& arg : args) {
    call.args.push_back(arg.value);
  }
  call.status = status;
  call.time = timeSource ? timeSource() : 0.0;
  call.thread = threadName();
  if (logFile) {
    std::string line;
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", call.time);
    line += time;
    line += ' ';
    line += call.thread;
    line += ' ';
    line += name;
    if (hasRef) {
      line += " ref=" + label(ref);
    }
    for (const Arg& arg : args) {
      line += ' ' + format(arg);
    }
    char result[24];
    std::snprintf(result, sizeof result, " -> 0x%x\n", static_cast<unsigned>(status));
    line += result;
    std::fputs(line.c_str(), logFile);
    std::fflush(logFile);
  }
  log.push_back(std::move(call));
  while (log.size() > logLimit) {
    log.pop_front();
  }
}

}  // namespace vok::sim
