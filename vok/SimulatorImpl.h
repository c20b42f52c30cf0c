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
#include <unordered_set>
#include <utility>
#include <vector>

#include "vok/Simulation.h"

// A reference handed out by the SDK. Never freed while the simulator lives, so a stale pointer
// can still be looked up and reported instead of being read after it was freed.
struct VokObject {
  enum class Kind { CameraList, Camera, Volume, Item, Stream, EvfImage };

  Kind kind = Kind::Camera;
  int serial = 0;             // for the log's labels
  int count = 0;              // 0: released (dead)
  vok::sim::CameraId camera = 0;  // 0: belongs to no camera
  int epoch = 0;              // the camera's plug epoch when the reference was made
  // A camera list: the cameras plugged when it was made, with their epochs.
  std::vector<std::pair<vok::sim::CameraId, int>> cameras;
  bool memoryStream = false;
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

  // Registry. `objects` owns every reference ever handed out; `known` finds them by pointer.
  std::vector<std::unique_ptr<VokObject>> objects;
  std::unordered_set<const VokObject*> known;
  int nextSerial = 0;
  ReferenceStats stats;

  std::map<CameraId, CameraState> cameras;
  CameraId nextCamera = 1;

  // Scripts.
  std::map<std::string, std::deque<VokError>> scripts;
  std::map<std::pair<std::string, VokPropertyID>, std::deque<VokError>> idScripts;
  std::map<std::string, VokError> failures;

  // Log.
  std::vector<Call> log;
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

}  // namespace vok::sim
