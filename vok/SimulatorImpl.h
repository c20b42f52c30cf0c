#pragma once

// Inside of the simulated SDK: the reference registry, the cameras, the event queue and the
// call log, all behind one mutex. Only vok/*.cpp include this.

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "vok/Simulation.h"

// A reference handed out by the SDK. A released one stays known for a while (the last
// kDeadShellLimit of them), so that a stale pointer is looked up and reported instead of being
// read after it was freed; what it held (a frame buffer, an open file) goes at once.
struct VokObject {
  enum class Kind { CameraList, Camera, Volume, Item, Stream, EvfImage };

  Kind kind = Kind::Camera;
  int serial = 0;             // for the log's labels
  std::uint64_t uid = 0;      // never reused, unlike the serial after a reset
  int count = 0;              // 0: released (dead)
  vok::sim::CameraId camera = 0;  // 0: belongs to no camera
  int epoch = 0;              // the camera's plug epoch when the reference was made
  // A camera list: the cameras plugged when it was made, with their epochs.
  std::vector<std::pair<vok::sim::CameraId, int>> cameras;
  // A volume or a directory item: the card entry it stands for.
  int entry = 0;
  // A memory stream: its fixed capacity, its buffer (made at the first fetch) and the bytes in it.
  bool memoryStream = false;
  std::size_t capacity = 0;
  std::unique_ptr<std::uint8_t[]> buffer;
  std::size_t length = 0;
  // A file stream.
  std::FILE* file = nullptr;
  VokProgressCallback progress = nullptr;
  void* progressContext = nullptr;
  // A live-view image: the stream it fills and the values of the frame last fetched into it.
  std::uint64_t streamUid = 0;
  std::map<VokPropertyID, vok::sim::PropertyValue> properties;

  // Lets go of what a released reference held.
  void dropContents();
};

namespace vok::sim {

using KindMask = unsigned;
constexpr KindMask kindBit(VokObject::Kind kind) { return 1u << static_cast<unsigned>(kind); }
inline constexpr KindMask kAnyKind = ~0u;

enum class EventKind { Object = 0, Property = 1, State = 2 };

template <typename Fn>
struct HandlerSlot {
  Fn fn = nullptr;
  void* context = nullptr;
  VokUInt32 filter = 0;
};

struct Handlers {
  HandlerSlot<VokObjectEventHandler> object;
  HandlerSlot<VokPropertyEventHandler> property;
  HandlerSlot<VokStateEventHandler> state;
};

// An entry of a memory card; a volume's root is a folder without a parent.
struct CardNode {
  std::string name;
  bool folder = false;
  std::vector<std::uint8_t> bytes;
  VokError downloadFailure = VOK_ERR_OK;
  std::vector<int> children;  // entry ids, in the order the camera lists them
  int parent = 0;
  bool gone = false;  // deleted or formatted away
};

struct CameraState {
  CameraSpec spec;
  std::map<VokPropertyID, PropertyValue> properties;
  std::map<VokPropertyID, tagVokPropertyDesc> descriptors;
  bool plugged = false;
  bool unplugPending = false;  // the shutdown event is queued; the camera goes after it
  int epoch = 0;               // grows with every plug, so old references stay gone
  bool sessionOpen = false;
  VokObject* current = nullptr;  // the camera object camera lists hand out
  Handlers handlers;
  // Statuses scripted for calls on this camera's own reference (the scenario's probe).
  std::map<std::string, std::deque<VokError>> scripts;
  int emptyNameReads = 0;  // reads of 0x2 after the session opened that come back empty

  // Memory cards: every entry by id, and the root entry of each volume.
  std::map<int, CardNode> card;
  std::vector<int> volumes;
  int nextEntry = 1;
  bool shutterDown = false;  // pressed completely, not yet released
  int pictureNumber = 0;
  // Live view.
  std::vector<std::uint8_t> evfFrame;
  std::map<VokPropertyID, PropertyValue> evfProperties;
  int evfFrames = 0;

  [[nodiscard]] CardNode* entry(int id);  // nullptr when unknown or gone
  int addEntry(const CardEntry& spec, int parent);
  void removeEntry(int id);  // marks it and everything below it gone
  // The entry at a "/"-separated path below `root`; 0 when there is none.
  [[nodiscard]] int entryAt(int root, const std::string& path);
  // A folder's child of that name, made when missing.
  int folderNamed(int parent, const std::string& name);
  // Adds the next picture under DCIM/100TAVO of the first volume; 0 without a volume.
  int takePicture();
};

struct Event {
  CameraId camera = 0;
  int epoch = 0;
  EventKind kind = EventKind::Property;
  VokUInt32 event = 0;
  VokUInt32 id = 0;
  VokUInt32 param = 0;
  bool unplug = false;  // take the camera out once the event was delivered
  std::uint64_t seq = 0;
  int entry = 0;  // an object event's card entry
};

enum class ArgFormat : std::uint8_t { Unsigned, Signed, Hex };

struct Arg {
  std::uint64_t value;
  ArgFormat format;
};
inline Arg dec(std::uint64_t v) { return {v, ArgFormat::Unsigned}; }
inline Arg sgn(std::int64_t v) { return {static_cast<std::uint64_t>(v), ArgFormat::Signed}; }
inline Arg hex(std::uint64_t v) { return {v, ArgFormat::Hex}; }

// A scenario's timed plug and unplug, run by the simulator's timer thread.
struct TimedAction {
  double at = 0;  // seconds after loading
  CameraId camera = 0;
  bool plug = true;
};

struct Simulator::Impl {
  Impl();
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  static Impl& get() { return Simulator::instance().impl(); }

  mutable std::mutex mutex;
  // Signals every change that a waiter may look for: queued events, finished deliveries.
  std::condition_variable changed;

  // Life.
  bool initialized = false;
  bool everTerminated = false;
  int initializeCount = 0;
  int terminateCount = 0;

  // Registry. `objects` owns every live reference and the most recent dead ones, by pointer;
  // `dead` lists the dead ones oldest first, `byUid` finds any of them by uid.
  static constexpr std::size_t kDeadShellLimit = 1024;
  std::unordered_map<const VokObject*, std::unique_ptr<VokObject>> objects;
  std::deque<VokObject*> dead;
  std::unordered_map<std::uint64_t, VokObject*> byUid;
  int nextSerial = 0;
  std::uint64_t nextUid = 1;
  ReferenceStats stats;
  StreamQuirk streamQuirk = StreamQuirk::None;

  std::map<CameraId, CameraState> cameras;
  CameraId nextCamera = 1;

  // Scripts.
  std::map<std::string, std::deque<VokError>> scripts;
  std::map<std::pair<std::string, VokPropertyID>, std::deque<VokError>> idScripts;
  std::map<std::string, VokError> failures;

  // Log: a ring of the last logLimit calls.
  std::deque<Call> log;
  std::size_t logLimit = Simulator::kDefaultCallLogLimit;
  std::FILE* logFile = nullptr;
  std::function<double()> timeSource;
  std::map<std::thread::id, std::string> threadNames;

  // Event thread. A thread runs while its generation is current; stopping bumps it.
  std::deque<Event> queue;
  std::set<std::uint64_t> unfinished;  // sequence numbers queued or being delivered
  std::uint64_t nextSeq = 1;
  std::uint64_t eventGen = 0;
  bool eventRunning = false;
  std::thread eventThread;
  std::vector<std::thread> retiredThreads;  // stopped from inside a handler, joined later
  std::set<std::thread::id> eventThreadIds;
  struct InFlight {
    std::uint64_t token;
    CameraId camera;
    EventKind kind;
  };
  std::vector<InFlight> inFlight;
  std::uint64_t nextToken = 1;

  // Scenario timer.
  std::mutex timerMutex;
  std::condition_variable timerWake;
  bool timerStop = false;
  std::thread timerThread;

  // --- registry (Registry.cpp) ---
  VokObject* makeObject(VokObject::Kind kind, CameraId camera, int epoch);
  [[nodiscard]] VokObject* find(VokBaseRef ref) const;
  [[nodiscard]] std::string label(VokBaseRef ref) const;
  void release(VokObject* object, std::unique_lock<std::mutex>& lock);
  // A released object: its contents go, its shell joins the dead ones.
  void bury(VokObject* object);
  [[nodiscard]] VokObject* liveByUid(std::uint64_t uid) const;
  void orphanAll();
  [[nodiscard]] CameraState* camera(CameraId id);
  [[nodiscard]] const CameraState* camera(CameraId id) const;
  // The camera behind a camera-bound reference, if it is still the plugged device it was.
  [[nodiscard]] CameraState* pluggedCamera(const VokObject* object);
  void takeOut(CameraId id);

  // --- scripts and log (Registry.cpp) ---
  std::optional<VokError> scripted(const std::string& call, std::optional<VokPropertyID> id,
                                   const VokObject* first);
  [[nodiscard]] std::string threadName();
  void record(const std::string& name, bool hasRef, VokBaseRef ref, const std::vector<Arg>& args,
              VokError status);

  // --- events (Events.cpp) ---
  [[nodiscard]] bool isEventThread() const;
  // Queues an event if the event thread runs; returns its sequence number (0: dropped).
  std::uint64_t push(Event event);
  // Starts the event thread; returns a stopped thread to join outside the lock, if any.
  void startEvents();
  // Stops the event thread, drops what is queued; the threads to join are moved into `out`.
  void stopEvents(std::vector<std::thread>& out);
  // Blocks until no handler of `kind` (any kind: nullopt) of the camera is running, unless the
  // caller is the event thread itself.
  void waitHandlerIdle(std::unique_lock<std::mutex>& lock, CameraId camera, std::optional<EventKind> kind);
  void eventLoop(std::uint64_t gen);
  void deliver(const Event& event, std::unique_lock<std::mutex>& lock);
  void dropQueue();

  // --- timer (Scenario.cpp) ---
  void startTimer(std::vector<TimedAction> actions);
  void stopTimer();
};

// Joins threads handed out by stopEvents, outside the lock.
void joinAll(std::vector<std::thread>& threads);

// Bytes that look like a JPEG image: `size` bytes (at least 4) between the start and end
// markers, varied by `seed`.
std::vector<std::uint8_t> sampleJpeg(std::size_t size, unsigned seed);
// What a fetched live-view image answers unless the camera's spec says otherwise.
std::map<VokPropertyID, PropertyValue> defaultEvfProperties();

}  // namespace vok::sim
