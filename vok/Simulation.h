#pragma once

// Control of the simulated camera SDK: which cameras exist and what they answer, scripted
// statuses, the call log and the reference registry. Tests drive it directly; a run of the
// application reads a scenario file named by $RAVLIO_VOK_SCENARIO (see Scenario.h).

#include <cstdint>
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

  static PropertyValue uint32(VokUInt32 value, VokDataType type = kVokDataType_UInt32);
  // A zero-terminated string of data type 2 (size: length + 1).
  static PropertyValue string(const std::string& text);
  static PropertyValue raw(VokDataType type, std::vector<std::uint8_t> bytes);
};

struct CameraSpec {
  std::string productName = "Orvell Tavo R5";  // property 0x2
  std::string firmwareVersion = "1.0.2";       // property 0x7
  std::string ownerName;                       // property 0x4
  std::string portName = "usb:001,004";
  std::string deviceDescription;               // defaults to the product name
  std::map<VokPropertyID, PropertyValue> properties;           // on top of the three above
  std::map<VokPropertyID, tagVokPropertyDesc> descriptors;
  VokUInt32 volumeCount = 1;  // what VokGetChildCount answers for the camera (the probe)
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
  // give it to a download).
  void fireObjectEvent(CameraId camera, VokObjectEvent event);
  // Blocks until every event fired so far has been delivered (or dropped).
  void waitForEvents();

  // Scripted statuses: the next calls of `call` (optionally only those for property `id`)
  // answer these statuses in turn, without doing their work; then the call works again.
  void script(const std::string& call, std::vector<VokError> statuses);
  void script(const std::string& call, VokPropertyID id, std::vector<VokError> statuses);
  // Every call of `call` answers `status` from now on (VOK_ERR_OK clears it).
  void fail(const std::string& call, VokError status);

  // The call log.
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
