// The simulated SDK's memory cards and live view: volumes, folders and files as directory
// items, file and memory streams, downloads with progress, delete and format, and live-view
// frames fetched into memory streams.

#include <cstdio>
#include <cstring>
#include <map>

#include "vok/Entry.h"

namespace vok::sim {

std::vector<std::uint8_t> sampleJpeg(std::size_t size, unsigned seed) {
  size = std::max<std::size_t>(size, 4);
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t state = 0x9E3779B9u ^ seed;
  for (std::uint8_t& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  bytes[0] = 0xFF;
  bytes[1] = 0xD8;
  bytes[size - 2] = 0xFF;
  bytes[size - 1] = 0xD9;
  return bytes;
}

std::map<VokPropertyID, PropertyValue> defaultEvfProperties() {
  return {
      {0x00000507, PropertyValue::uint32(1)},                                      // zoom
      {0x00000541, PropertyValue::record(tagVokRect{{2400, 1600}, {1200, 800}})},  // zoom rectangle
      {0x0000050B, PropertyValue::record(tagVokPoint{0, 0})},                      // image position
      {0x00000540, PropertyValue::record(tagVokSize{6000, 4000})},                 // full-size image
      {0x01000546, PropertyValue::record(tagVokRect{{0, 0}, {6000, 4000}})},       // visible rectangle
      {0x01000544, PropertyValue::record(tagVokCameraPos{1, 0, 15, -3})},          // roll and pitch
  };
}

// --- the card ---

CardNode* CameraState::entry(int id) {
  auto it = card.find(id);
  return it == card.end() || it->second.gone ? nullptr : &it->second;
}

int CameraState::addEntry(const CardEntry& spec, int parent) {
  const int id = nextEntry++;
  CardNode& node = card[id];  // std::map: stays valid while children are added
  node.name = spec.name;
  node.folder = spec.folder;
  node.bytes = spec.bytes;
  node.downloadFailure = spec.downloadFailure;
  node.parent = parent;
  if (parent != 0) {
    card[parent].children.push_back(id);
  }
  for (const CardEntry& child : spec.children) {
    addEntry(child, id);
  }
  return id;
}

namespace {

void markGone(std::map<int, CardNode>& card, int id) {
  CardNode& node = card.at(id);
  node.gone = true;
  for (int child : node.children) {
    markGone(card, child);
  }
}

}  // namespace

void CameraState::removeEntry(int id) {
  CardNode* node = entry(id);
  if (!node) {
    return;
  }
  markGone(card, id);
  if (node->parent != 0) {
    std::erase(card.at(node->parent).children, id);
  }
}

int CameraState::entryAt(int root, const std::string& path) {
  int id = root;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty()) {
      continue;
    }
    const CardNode* node = entry(id);
    if (!node) {
      return 0;
    }
    int next = 0;
    for (int child : node->children) {
      if (card.at(child).name == name) {
        next = child;
        break;
      }
    }
    if (next == 0) {
      return 0;
    }
    id = next;
  }
  return entry(id) ? id : 0;
}

int CameraState::folderNamed(int parent, const std::string& name) {
  for (int child : card.at(parent).children) {
    const CardNode& node = card.at(child);
    if (node.folder && node.name == name) {
      return child;
    }
  }
  return addEntry(CardEntry::dir(name), parent);
}

int CameraState::takePicture() {
  if (volumes.empty()) {
    return 0;
  }
  const int folder = folderNamed(folderNamed(volumes.front(), "DCIM"), "100TAVO");
  char name[32];
  for (int tries = 0; tries < 10000; ++tries) {
    pictureNumber = pictureNumber % 9999 + 1;
    std::snprintf(name, sizeof name, "IMG_%04d.JPG", pictureNumber);
    if (entryAt(folder, name) == 0) {
      return addEntry(CardEntry::picture(name), folder);
    }
  }
  return 0;  // the folder is full
}

}  // namespace vok::sim

using namespace vok::sim;

namespace {

// Appends `size` bytes to a stream: a file is written through, a memory stream keeps them up
// to its capacity.
VokError writeToStream(VokObject& stream, const std::uint8_t* bytes, std::size_t size) {
  if (stream.memoryStream) {
    if (stream.length + size > stream.capacity) {
      return VOK_ERR_BUFFER_TOO_SMALL;
    }
    if (!stream.buffer) {
      stream.buffer = std::make_unique_for_overwrite<std::uint8_t[]>(stream.capacity);
    }
    if (size > 0) {
      std::memcpy(stream.buffer.get() + stream.length, bytes, size);
    }
    stream.length += size;
    return VOK_ERR_OK;
  }
  if (!stream.file) {
    return VOK_ERR_FILE_IO;
  }
  if (std::fwrite(bytes, 1, size, stream.file) != size || std::fflush(stream.file) != 0) {
    return VOK_ERR_FILE_IO;
  }
  return VOK_ERR_OK;
}

// The card entry behind a volume or directory item whose camera is there with its session.
VokError cardEntry(Entry& e, VokObject* object, CameraState*& cam, CardNode*& node) {
  if (const VokError status = sessionCamera(e.s, object, cam)) {
    return status;
  }
  node = cam->entry(object->entry);
  return node ? VOK_ERR_OK : VOK_ERR_ITEM_GONE;
}

// The largest memory stream the simulation agrees to make.
constexpr VokUInt64 kMaxMemoryStream = 256ull * 1024 * 1024;

}  // namespace

// --- files ---

VokError VokGetDirectoryItemInfo(VokDirectoryItemRef item, tagVokDirectoryItemInfo* outInfo) {
  Entry e("VokGetDirectoryItemInfo", true, item, {});
  VokObject* object = nullptr;
  if (auto st = e.enter({{item, kItem, &object}}, outInfo != nullptr)) {
    return e.done(*st);
  }
  CameraState* cam = nullptr;
  CardNode* node = nullptr;
  if (const VokError status = cardEntry(e, object, cam, node)) {
    return e.done(status);
  }
  std::memset(outInfo, 0, sizeof *outInfo);
  outInfo->size = node->folder ? 0 : node->bytes.size();
  outInfo->isFolder = node->folder ? 1 : 0;
  copyText(outInfo->szFileName, sizeof outInfo->szFileName, node->name);
  return e.done(VOK_ERR_OK);
}

// Disposition 0 makes a new file and fails when one is there; 1 makes it anew either way.
VokError VokCreateFileStream(const char* path, VokUInt32 disposition, VokUInt32 access, VokStreamRef* outStream) {
  Entry e("VokCreateFileStream", false, nullptr, {dec(disposition), dec(access)});
  if (auto st = e.enter({}, path != nullptr && outStream != nullptr && disposition <= 1 && access <= 2)) {
    return e.done(*st);
  }
  std::FILE* file = std::fopen(path, disposition == 0 ? "wbx" : "wb");
  if (!file) {
    return e.done(VOK_ERR_FILE_IO);
  }
  VokObject* stream = e.s.makeObject(Kind::Stream, 0, 0);
  stream->file = file;
  *outStream = stream;
  return e.done(VOK_ERR_OK);
}

VokError VokSetProgressCallback(VokStreamRef stream, VokProgressCallback callback, VokUInt32 option, void* context) {
  Entry e("VokSetProgressCallback", true, stream, {dec(option), dec(callback ? 1 : 0)});
  VokObject* object = nullptr;
  if (auto st = e.enter({{stream, kStream, &object}})) {
    return e.done(*st);
  }
  object->progress = callback;
  object->progressContext = context;
  return e.done(VOK_ERR_OK);
}

// Writes the item's bytes to the stream, then reports 25, 50, 75 and 100 percent to the
// stream's progress callback (without the lock: the callback may call the SDK). A file set to
// fail writes half and reports up to 50.
VokError VokDownload(VokDirectoryItemRef item, VokUInt64 size, VokStreamRef stream) {
  Entry e("VokDownload", true, item, {dec(size)});
  VokObject* itemObject = nullptr;
  VokObject* streamObject = nullptr;
  if (auto st = e.enter({{item, kItem, &itemObject}, {stream, kStream, &streamObject}})) {
    return e.done(*st);
  }
  CameraState* cam = nullptr;
  CardNode* node = nullptr;
  if (const VokError status = cardEntry(e, itemObject, cam, node)) {
    return e.done(status);
  }
  if (node->folder || size > node->bytes.size()) {
    return e.done(VOK_ERR_INVALID_PARAMETER);
  }
  const VokError failure = node->downloadFailure;
  const std::size_t count = static_cast<std::size_t>(failure == VOK_ERR_OK ? size : size / 2);
  VokError status = writeToStream(*streamObject, node->bytes.data(), count);
  int reached = status == VOK_ERR_OK ? 100 : 0;
  if (status == VOK_ERR_OK && failure != VOK_ERR_OK) {
    status = failure;
    reached = 50;
  }
  const VokProgressCallback progress = streamObject->progress;
  void* const context = streamObject->progressContext;
  if (progress && reached > 0) {
    e.lock.unlock();
    VokBool cancel = 0;
    for (VokUInt32 percent = 25; percent <= static_cast<VokUInt32>(reached) && !cancel; percent += 25) {
      progress(percent, context, &cancel);
    }
    e.lock.lock();
    if (cancel && status == VOK_ERR_OK) {
      status = VOK_ERR_OPERATION_CANCELLED;
    }
  }
  return e.done(status);
}

VokError VokDownloadComplete(VokDirectoryItemRef item) {
  Entry e("VokDownloadComplete", true, item, {});
  VokObject* object = nullptr;
  if (auto st = e.enter({{item, kItem, &object}})) {
    return e.done(*st);
  }
  CameraState* cam = nullptr;
  CardNode* node = nullptr;
  return e.done(cardEntry(e, object, cam, node));
}

VokError VokDeleteDirectoryItem(VokDirectoryItemRef item) {
  Entry e("VokDeleteDirectoryItem", true, item, {});
  VokObject* object = nullptr;
  if (auto st = e.enter({{item, kItem, &object}})) {
    return e.done(*st);
  }
  CameraState* cam = nullptr;
  CardNode* node = nullptr;
  if (const VokError status = cardEntry(e, object, cam, node)) {
    return e.done(status);
  }
  cam->removeEntry(object->entry);
  return e.done(VOK_ERR_OK);
}

VokError VokFormatVolume(VokVolumeRef volume) {
  Entry e("VokFormatVolume", true, volume, {});
  VokObject* object = nullptr;
  if (auto st = e.enter({{volume, kVolume, &object}})) {
    return e.done(*st);
  }
  CameraState* cam = nullptr;
  CardNode* root = nullptr;
  if (const VokError status = cardEntry(e, object, cam, root)) {
    return e.done(status);
  }
  for (int child : std::vector<int>(root->children)) {
    cam->removeEntry(child);
  }
  return e.done(VOK_ERR_OK);
}

// --- live view ---

VokError VokCreateMemoryStream(VokUInt64 bufferSize, VokStreamRef* outStream) {
  Entry e("VokCreateMemoryStream", false, nullptr, {dec(bufferSize)});
  if (auto st = e.enter({}, outStream != nullptr && bufferSize <= kMaxMemoryStream)) {
    return e.done(*st);
  }
  VokObject* stream = e.s.makeObject(Kind::Stream, 0, 0);
  stream->memoryStream = true;
  stream->capacity = static_cast<std::size_t>(bufferSize);
  *outStream = stream;
  return e.done(VOK_ERR_OK);
}

VokError VokCreateEvfImageRef(VokStreamRef stream, VokEvfImageRef* outImage) {
  Entry e("VokCreateEvfImageRef", true, stream, {});
  VokObject* object = nullptr;
  if (auto st = e.enter({{stream, kStream, &object}}, outImage != nullptr)) {
    return e.done(*st);
  }
  if (!object->memoryStream) {
    return e.done(VOK_ERR_NOT_SUPPORTED);
  }
  VokObject* image = e.s.makeObject(Kind::EvfImage, 0, 0);
  image->streamUid = object->uid;
  *outImage = image;
  return e.done(VOK_ERR_OK);
}

// A frame comes only while the camera's output device has the computer's bit; before that the
// camera answers "not ready". The frame replaces what the image's stream held.
VokError VokDownloadEvfImage(VokCameraRef camera, VokEvfImageRef image) {
  Entry e("VokDownloadEvfImage", true, camera, {});
  VokObject* cameraObject = nullptr;
  VokObject* imageObject = nullptr;
  if (auto st = e.enter({{camera, kCamera, &cameraObject}, {image, kEvfImage, &imageObject}})) {
    return e.done(*st);
  }
  return e.done(onOpenSession(e, cameraObject, [&](CameraState& cam) {
    VokUInt32 device = 0;
    if (auto it = cam.properties.find(kVokPropID_Evf_OutputDevice);
        it != cam.properties.end() && it->second.bytes.size() >= sizeof device) {
      std::memcpy(&device, it->second.bytes.data(), sizeof device);
    }
    if ((device & kVokEvfOutputDevice_PC) == 0) {
      return VOK_ERR_OBJECT_NOTREADY;
    }
    VokObject* stream = e.s.liveByUid(imageObject->streamUid);
    if (!stream) {
      return VOK_ERR_INVALID_HANDLE;  // its stream was released before it
    }
    stream->length = 0;
    const VokError status = writeToStream(*stream, cam.evfFrame.data(), cam.evfFrame.size());
    if (status != VOK_ERR_OK) {
      return status;
    }
    imageObject->properties = cam.evfProperties;
    ++cam.evfFrames;
    return VOK_ERR_OK;
  }));
}

// The program may read these two without looking at the status, so the out values are always
// set. A memory stream yields its buffer (none before the first frame) and the bytes in it.
VokError VokGetPointer(VokStreamRef stream, const void** outPointer) {
  Entry e("VokGetPointer", true, stream, {});
  VokObject* object = nullptr;
  if (auto st = e.enter({{stream, kStream, &object}}, outPointer != nullptr)) {
    return e.done(*st);
  }
  *outPointer = nullptr;
  if (!object->memoryStream) {
    return e.done(VOK_ERR_NOT_SUPPORTED);
  }
  if (e.s.streamQuirk != StreamQuirk::NullPointer) {
    *outPointer = object->buffer.get();
  }
  return e.done(e.s.streamQuirk == StreamQuirk::NonZeroStatus ? VOK_ERR_INTERNAL : VOK_ERR_OK);
}

VokError VokGetLength(VokStreamRef stream, VokUInt64* outLength) {
  Entry e("VokGetLength", true, stream, {});
  VokObject* object = nullptr;
  if (auto st = e.enter({{stream, kStream, &object}}, outLength != nullptr)) {
    return e.done(*st);
  }
  *outLength = 0;
  if (!object->memoryStream) {
    return e.done(VOK_ERR_NOT_SUPPORTED);
  }
  switch (e.s.streamQuirk) {
    case StreamQuirk::LengthBeyondBuffer: *outLength = object->capacity + 0x100000; break;
    case StreamQuirk::ZeroLength: *outLength = 0; break;
    default: *outLength = object->length; break;
  }
  return e.done(e.s.streamQuirk == StreamQuirk::NonZeroStatus ? VOK_ERR_INTERNAL : VOK_ERR_OK);
}
