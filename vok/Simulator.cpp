// The control side of the simulated SDK: cameras, properties, scripts, log and counters.

#include <algorithm>

#include "vok/SimulatorImpl.h"

namespace vok::sim {

PropertyValue PropertyValue::uint32(VokUInt32 value, VokDataType type) {
  PropertyValue v;
  v.dataType = type;
  v.bytes = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
             static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  return v;
}

PropertyValue PropertyValue::string(const std::string& text) {
  PropertyValue v;
  v.dataType = kVokDataType_String;
  v.bytes.assign(kTextSize, 0);
  std::copy_n(text.begin(), std::min(text.size(), kTextSize - 1), v.bytes.begin());
  return v;
}

PropertyValue PropertyValue::raw(VokDataType type, std::vector<std::uint8_t> bytes) {
  PropertyValue v;
  v.dataType = type;
  v.bytes = std::move(bytes);
  return v;
}

CardEntry CardEntry::file(std::string name, std::vector<std::uint8_t> bytes) {
  CardEntry entry;
  entry.name = std::move(name);
  entry.bytes = std::move(bytes);
  return entry;
}

CardEntry CardEntry::picture(std::string name, std::size_t size) {
  std::vector<std::uint8_t> bytes = sampleJpeg(size, static_cast<unsigned>(name.size()));
  return file(std::move(name), std::move(bytes));
}

CardEntry CardEntry::dir(std::string name, std::vector<CardEntry> children) {
  CardEntry entry;
  entry.name = std::move(name);
  entry.folder = true;
  entry.children = std::move(children);
  return entry;
}

Simulator& Simulator::instance() {
  static Simulator simulator;
  return simulator;
}

Simulator::Simulator() : impl_(std::make_unique<Impl>()) {}

void Simulator::reset() {
  impl_->stopTimer();
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopEvents(threads);
  }
  joinAll(threads);

  std::lock_guard lock(impl_->mutex);
  Impl& s = *impl_;
  s.initialized = false;
  s.everTerminated = false;
  s.initializeCount = 0;
  s.terminateCount = 0;
  // The objects stay (a stale pointer must stay safe to look up) but none of them is live now.
  s.orphanAll();
  s.nextSerial = 0;
  s.cameras.clear();
  s.nextCamera = 1;
  s.scripts.clear();
  s.idScripts.clear();
  s.failures.clear();
  s.streamQuirk = StreamQuirk::None;
  s.log.clear();
  s.logLimit = kDefaultCallLogLimit;
  if (s.logFile) {
    std::fclose(s.logFile);
    s.logFile = nullptr;
  }
  s.threadNames.clear();
}

void Simulator::setTimeSource(std::function<double()> now) {
  std::lock_guard lock(impl_->mutex);
  impl_->timeSource = std::move(now);
}

CameraId Simulator::addCamera(CameraSpec spec, bool plugged) {
  std::lock_guard lock(impl_->mutex);
  const CameraId id = impl_->nextCamera++;
  CameraState& cam = impl_->cameras[id];
  cam.properties[0x2] = PropertyValue::string(spec.productName);
  cam.properties[0x4] = PropertyValue::string(spec.ownerName);
  cam.properties[0x7] = PropertyValue::string(spec.firmwareVersion);
  for (const auto& [pid, value] : spec.properties) {
    cam.properties[pid] = value;
  }
  cam.descriptors = spec.descriptors;
  for (const VolumeSpec& volume : spec.volumes) {
    cam.volumes.push_back(cam.addEntry(CardEntry::dir(volume.name, volume.entries), 0));
  }
  cam.evfFrame = spec.evf.frame.empty() ? sampleJpeg(48 * 1024, 7) : spec.evf.frame;
  cam.evfProperties = defaultEvfProperties();
  for (const auto& [pid, value] : spec.evf.properties) {
    cam.evfProperties[pid] = value;
  }
  cam.spec = std::move(spec);
  cam.plugged = plugged;
  cam.epoch = plugged ? 1 : 0;
  return id;
}

void Simulator::plug(CameraId camera) {
  std::lock_guard lock(impl_->mutex);
  CameraState* cam = impl_->camera(camera);
  if (!cam || cam->plugged) {
    return;
  }
  // A device plugged back in is a new device: fresh session, new camera object.
  cam->plugged = true;
  ++cam->epoch;
  cam->sessionOpen = false;
  cam->current = nullptr;
  cam->handlers = {};
}

bool Simulator::isPlugged(CameraId camera) const {
  std::lock_guard lock(impl_->mutex);
  const CameraState* cam = impl_->camera(camera);
  return cam && cam->plugged;
}

void Simulator::setProperty(CameraId camera, VokPropertyID id, PropertyValue value) {
  std::lock_guard lock(impl_->mutex);
  if (CameraState* cam = impl_->camera(camera)) {
    cam->properties[id] = std::move(value);
  }
}

void Simulator::setDescriptor(CameraId camera, VokPropertyID id, const tagVokPropertyDesc& desc) {
  std::lock_guard lock(impl_->mutex);
  if (CameraState* cam = impl_->camera(camera)) {
    cam->descriptors[id] = desc;
  }
}

std::optional<PropertyValue> Simulator::property(CameraId camera, VokPropertyID id) const {
  std::lock_guard lock(impl_->mutex);
  const CameraState* cam = impl_->camera(camera);
  if (!cam) {
    return std::nullopt;
  }
  auto it = cam->properties.find(id);
  if (it == cam->properties.end()) {
    return std::nullopt;
  }
  return it->second;
}

bool Simulator::isSessionOpen(CameraId camera) const {
  std::lock_guard lock(impl_->mutex);
  const CameraState* cam = impl_->camera(camera);
  return cam && cam->sessionOpen;
}

void Simulator::script(const std::string& call, std::vector<VokError> statuses) {
  std::lock_guard lock(impl_->mutex);
  impl_->scripts[call] = std::deque<VokError>(statuses.begin(), statuses.end());
}

void Simulator::script(const std::string& call, VokPropertyID id, std::vector<VokError> statuses) {
  std::lock_guard lock(impl_->mutex);
  impl_->idScripts[{call, id}] = std::deque<VokError>(statuses.begin(), statuses.end());
}

void Simulator::fail(const std::string& call, VokError status) {
  std::lock_guard lock(impl_->mutex);
  if (status == VOK_ERR_OK) {
    impl_->failures.erase(call);
  } else {
    impl_->failures[call] = status;
  }
}

std::vector<std::string> Simulator::cardEntries(CameraId camera, std::size_t volume) const {
  std::lock_guard lock(impl_->mutex);
  std::vector<std::string> paths;
  CameraState* cam = impl_->camera(camera);
  if (!cam || volume >= cam->volumes.size()) {
    return paths;
  }
  std::function<void(int, const std::string&)> walk = [&](int id, const std::string& prefix) {
    for (int child : cam->card.at(id).children) {
      const CardNode& node = cam->card.at(child);
      const std::string path = prefix + node.name + (node.folder ? "/" : "");
      paths.push_back(path);
      if (node.folder) {
        walk(child, path);
      }
    }
  };
  walk(cam->volumes[volume], "");
  return paths;
}

int Simulator::evfFrames(CameraId camera) const {
  std::lock_guard lock(impl_->mutex);
  const CameraState* cam = impl_->camera(camera);
  return cam ? cam->evfFrames : 0;
}

void Simulator::setStreamQuirk(StreamQuirk quirk) {
  std::lock_guard lock(impl_->mutex);
  impl_->streamQuirk = quirk;
}

void Simulator::setCallLogLimit(std::size_t limit) {
  std::lock_guard lock(impl_->mutex);
  impl_->logLimit = limit;
  while (impl_->log.size() > limit) {
    impl_->log.pop_front();
  }
}

std::size_t Simulator::callLogLimit() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->logLimit;
}

std::vector<Call> Simulator::calls() const {
  std::lock_guard lock(impl_->mutex);
  return {impl_->log.begin(), impl_->log.end()};
}

std::vector<Call> Simulator::calls(const std::string& name) const {
  std::lock_guard lock(impl_->mutex);
  std::vector<Call> result;
  for (const Call& call : impl_->log) {
    if (call.name == name) {
      result.push_back(call);
    }
  }
  return result;
}

void Simulator::clearCalls() {
  std::lock_guard lock(impl_->mutex);
  impl_->log.clear();
}

void Simulator::setCallLogFile(const std::string& path) {
  std::lock_guard lock(impl_->mutex);
  if (impl_->logFile) {
    std::fclose(impl_->logFile);
    impl_->logFile = nullptr;
  }
  if (!path.empty()) {
    impl_->logFile = std::fopen(path.c_str(), "w");
  }
}

ReferenceStats Simulator::stats() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->stats;
}

bool Simulator::isInitialized() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->initialized;
}

int Simulator::initializeCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->initializeCount;
}

int Simulator::terminateCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->terminateCount;
}

std::optional<CameraId> Simulator::cameraOf(VokBaseRef ref) const {
  std::lock_guard lock(impl_->mutex);
  const VokObject* object = impl_->find(ref);
  if (!object || object->camera == 0) {
    return std::nullopt;
  }
  return object->camera;
}

}  // namespace vok::sim
