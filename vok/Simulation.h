#pragma once

// Control of the simulated camera SDK: which cameras exist and what they answer, scripted
// statuses, the call log and the reference registry. Tests drive it directly; a run of the
// application reads a scenario file named by $RAVLIO_VOK_SCENARIO (see Scenario.h).

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vok/VokSdk.h"

namespace vok::sim {

struct PropertyValue {
  VokDataType dataType = kVokDataType_UInt32;
  std::vector<std::uint8_t> bytes;  // what VokGetPropertyData copies out (its reported size)

  // The camera holds a text (data type 2) in a field of this size, zero-terminated.
  static constexpr std::size_t kTextSize = 256;

  static PropertyValue uint32(VokUInt32 value, VokDataType type = kVokDataType_UInt32);
  // A text of data type 2 in its field; a longer text is cut to kTextSize - 1 bytes.
  static PropertyValue string(const std::string& text);
  static PropertyValue raw(VokDataType type, std::vector<std::uint8_t> bytes);
  // The bytes of an SDK record (a point, a rectangle, a camera position) as a byte block.
  template <typename Record>
  static PropertyValue record(const Record& value) {
    std::vector<std::uint8_t> bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return raw(kVokDataType_ByteBlock, std::move(bytes));
  }
};

// A file or folder on a camera's memory card.
struct CardEntry {
  std::string name;
  bool folder = false;
  std::vector<std::uint8_t> bytes;  // a file's content
  std::vector<CardEntry> children;  // a folder's entries, in the order the camera lists them
  // Non-zero: VokDownload of this file writes half of it and then answers this status.
  VokError downloadFailure = VOK_ERR_OK;

  static CardEntry file(std::string name, std::vector<std::uint8_t> bytes);
  // A file of `size` bytes that looks like a JPEG image.
  static CardEntry picture(std::string name, std::size_t size = 24 * 1024);
  static CardEntry dir(std::string name, std::vector<CardEntry> children = {});
};

// One volume (memory card) of a camera.
struct VolumeSpec {
  std::string name = "SD";
  std::vector<CardEntry> entries;
};

// What a live-view fetch delivers while the camera's output device (0x500) has bit 1 set.
struct EvfSpec {
  std::vector<std::uint8_t> frame;  // every frame's bytes; empty: a 48 KiB JPEG-like frame
  // What the fetched image answers for its own properties (zoom, rectangles, camera position),
  // on top of defaults for 0x507, 0x541, 0x50B, 0x540, 0x01000546 and 0x01000544.
  std::map<VokPropertyID, PropertyValue> properties;
};

// A memory stream that misreports its frame, for tests of the reader's checks: no pointer, a
// length past its buffer, a length of 0, or a non-zero status from VokGetPointer and
// VokGetLength that still hand out the frame's pointer and length.
enum class StreamQuirk { None, NullPointer, LengthBeyondBuffer, ZeroLength, NonZeroStatus };

struct CameraSpec {
  std::string productName = "Orvell Tavo Quill";  // property 0x2
  std::string firmwareVersion = "1.0.2";           // property 0x7
  std::string ownerName;                           // property 0x4
  std::string portName = "usb:001,004";
  std::string deviceDescription;               // defaults to the product name
  std::map<VokPropertyID, PropertyValue> properties;           // on top of the three above
  std::map<VokPropertyID, tagVokPropertyDesc> descriptors;
  // The camera's volumes; their number is what VokGetChildCount answers for the camera (the
  // probe). Releasing the shutter after a full press adds a picture under DCIM/100TAVO of the
  // first volume and offers it with object event 0x208.
  std::vector<VolumeSpec> volumes{VolumeSpec{}};
  EvfSpec evf;
};

using CameraId = int;

// One SDK call as the log records it.
struct Call {
  std::string name;             // "VokGetPropertyData"
  VokBaseRef ref = nullptr;     // the first reference argument, if any
  std::vector<std::uint64_t> args;  // the remaining integer arguments, in order
  VokError status = VOK_ERR_OK;
  double time = 0;              // the simulator's time source at the call
  std::string thread;           // a stable name of the calling thread ("T1", "T2", ...)
};

struct ReferenceStats {
  int live = 0;                // references handed out and not yet released
  int doubleReleases = 0;      // VokRelease on a reference already released
  int useAfterRelease = 0;     // any other call with a released reference
  int unknownReferences = 0;   // a pointer the SDK never handed out
  int callsAfterTerminate = 0; // any call other than VokInitializeSDK after VokTerminateSDK
  int leakedAtTerminate = 0;   // references still live when VokTerminateSDK ran
};

class Simulator {
 public:
  static Simulator& instance();

  // Back to the start: SDK not initialised, no cameras, no scripts, log and counters cleared.
  // Stops the event thread. Never call while SDK calls are running.
  void reset();

  // Time stamps for the log (tests pass the program's clock); default: steady clock seconds.
  void setTimeSource(std::function<double()> now);

  // Cameras, in the order the camera list shows them (plugged ones only).
  CameraId addCamera(CameraSpec spec, bool plugged = true);
  void plug(CameraId camera);
  // Takes the camera out of the list; calls on its references then fail with
  // VOK_ERR_DEVICE_NOT_FOUND. Fires state event 0x301 to its state handler first.
  void unplug(CameraId camera);
  [[nodiscard]] bool isPlugged(CameraId camera) const;
  void setProperty(CameraId camera, VokPropertyID id, PropertyValue value);
  void setDescriptor(CameraId camera, VokPropertyID id, const tagVokPropertyDesc& desc);
  [[nodiscard]] std::optional<PropertyValue> property(CameraId camera, VokPropertyID id) const;
  [[nodiscard]] bool isSessionOpen(CameraId camera) const;

  // Events, delivered on the SDK's event thread to the camera's registered handlers.
  void firePropertyEvent(CameraId camera, VokPropertyEvent event, VokPropertyID id, VokUInt32 param = 0);
  void fireStateEvent(CameraId camera, VokStateEvent event, VokUInt32 param = 0);
  // Hands a new directory-item reference to the object handler (which must release it or
  // give it to a download). `cardPath` ("DCIM/100TAVO/IMG_0001.JPG", on the first volume)
  // names the entry it stands for; empty: an entry that is gone.
  void fireObjectEvent(CameraId camera, VokObjectEvent event, const std::string& cardPath = {});
  // Blocks until every event fired so far has been delivered (or dropped).
  void waitForEvents();

  // Scripted statuses: the next calls of `call` (optionally only those for property `id`)
  // answer these statuses in turn, without doing their work; then the call works again.
  void script(const std::string& call, std::vector<VokError> statuses);
  void script(const std::string& call, VokPropertyID id, std::vector<VokError> statuses);
  // Every call of `call` answers `status` from now on (VOK_ERR_OK clears it).
  void fail(const std::string& call, VokError status);

  // The card's entries as paths below the volume's root, depth first in the camera's order;
  // folders end in "/" ("DCIM/", "DCIM/100TAVO/IMG_0001.JPG").
  [[nodiscard]] std::vector<std::string> cardEntries(CameraId camera, std::size_t volume = 0) const;
  // Frames that live view delivered so far.
  [[nodiscard]] int evfFrames(CameraId camera) const;
  void setStreamQuirk(StreamQuirk quirk);

  // The call log: a ring of the last callLogLimit() calls, so that a long live view stays
  // bounded.
  static constexpr std::size_t kDefaultCallLogLimit = 4096;
  void setCallLogLimit(std::size_t limit);
  [[nodiscard]] std::size_t callLogLimit() const;
  [[nodiscard]] std::vector<Call> calls() const;
  [[nodiscard]] std::vector<Call> calls(const std::string& name) const;
  void clearCalls();
  // Also writes each call as a line to this file (empty: no file).
  void setCallLogFile(const std::string& path);

  [[nodiscard]] ReferenceStats stats() const;
  [[nodiscard]] bool isInitialized() const;
  [[nodiscard]] int initializeCount() const;
  [[nodiscard]] int terminateCount() const;
  // The camera a reference belongs to, if any (tests).
  [[nodiscard]] std::optional<CameraId> cameraOf(VokBaseRef ref) const;

  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  Simulator();
  std::unique_ptr<Impl> impl_;
};

}  // namespace vok::sim
