// The simulated SDK's event thread: queued events go to the cameras' registered handlers, which
// are always called with the internal mutex unlocked (they call back into the SDK).

#include <algorithm>

#include "vok/SimulatorImpl.h"

namespace vok::sim {

namespace {

constexpr VokUInt32 kAllFilter[] = {kVokObjectEvent_All, kVokPropertyEvent_All, kVokStateEvent_All};

bool accepts(VokUInt32 filter, EventKind kind, VokUInt32 event) {
  return filter == kAllFilter[static_cast<int>(kind)] || filter == event;
}

}  // namespace

void joinAll(std::vector<std::thread>& threads) {
  for (std::thread& thread : threads) {
    if (thread.joinable()) {
      thread.join();
    }
  }
  threads.clear();
}

bool Simulator::Impl::isEventThread() const {
  return eventThreadIds.count(std::this_thread::get_id()) != 0;
}

std::uint64_t Simulator::Impl::push(Event event) {
  if (!eventRunning) {
    return 0;
  }
  event.seq = nextSeq++;
  unfinished.insert(event.seq);
  queue.push_back(event);
  changed.notify_all();
  return event.seq;
}

void Simulator::Impl::startEvents() {
  if (eventRunning) {
    return;
  }
  eventRunning = true;
  const std::uint64_t gen = ++eventGen;
  if (eventThread.joinable()) {
    // Stopped from inside its own handler earlier: it ends on its own, joined later.
    retiredThreads.push_back(std::move(eventThread));
  }
  eventThread = std::thread([this, gen] { eventLoop(gen); });
  eventThreadIds.insert(eventThread.get_id());
}

void Simulator::Impl::stopEvents(std::vector<std::thread>& out) {
  if (eventRunning) {
    eventRunning = false;
    ++eventGen;
    dropQueue();
    changed.notify_all();
  }
  auto take = [&](std::thread& thread) {
    if (!thread.joinable()) {
      return;
    }
    if (thread.get_id() == std::this_thread::get_id()) {
      // A handler stopped the SDK: this thread cannot join itself.
      if (&thread == &eventThread) {
        retiredThreads.push_back(std::move(eventThread));
      }
      return;
    }
    eventThreadIds.erase(thread.get_id());
    out.push_back(std::move(thread));
  };
  take(eventThread);
  for (std::thread& thread : retiredThreads) {
    take(thread);
  }
  retiredThreads.erase(std::remove_if(retiredThreads.begin(), retiredThreads.end(),
                                      [](const std::thread& t) { return !t.joinable(); }),
                       retiredThreads.end());
}

void Simulator::Impl::dropQueue() {
  for (const Event& event : queue) {
    if (event.unplug) {
      const CameraState* cam = camera(event.camera);
      if (cam && cam->epoch == event.epoch) {
        takeOut(event.camera);
      }
    }
    unfinished.erase(event.seq);
  }
  queue.clear();
}

void Simulator::Impl::waitHandlerIdle(std::unique_lock<std::mutex>& lock, CameraId cameraId,
                                      std::optional<EventKind> kind) {
  if (isEventThread()) {
    return;
  }
  changed.wait(lock, [&] {
    return std::none_of(inFlight.begin(), inFlight.end(), [&](const InFlight& f) {
      return f.camera == cameraId && (!kind || f.kind == *kind);
    });
  });
}

void Simulator::Impl::eventLoop(std::uint64_t gen) {
  std::unique_lock lock(mutex);
  while (gen == eventGen) {
    if (queue.empty()) {
      changed.wait(lock);
      continue;
    }
    const Event event = queue.front();
    queue.pop_front();
    deliver(event, lock);
    unfinished.erase(event.seq);
    changed.notify_all();
  }
}

void Simulator::Impl::deliver(const Event& event, std::unique_lock<std::mutex>& lock) {
  CameraState* cam = camera(event.camera);
  if (!cam || cam->epoch != event.epoch) {
    return;  // the camera was plugged anew since: the old device's events are gone
  }
  const Handlers& h = cam->handlers;
  VokObjectEventHandler objectFn = nullptr;
  VokPropertyEventHandler propertyFn = nullptr;
  VokStateEventHandler stateFn = nullptr;
  void* context = nullptr;
  switch (event.kind) {
    case EventKind::Object:
      if (h.object.fn && accepts(h.object.filter, event.kind, event.event)) {
        objectFn = h.object.fn;
        context = h.object.context;
      }
      break;
    case EventKind::Property:
      if (h.property.fn && accepts(h.property.filter, event.kind, event.event)) {
        propertyFn = h.property.fn;
        context = h.property.context;
      }
      break;
    case EventKind::State:
      if (h.state.fn && accepts(h.state.filter, event.kind, event.event)) {
        stateFn = h.state.fn;
        context = h.state.context;
      }
      break;
  }
  if (objectFn || propertyFn || stateFn) {
    // The item exists only once a handler takes it, so a dropped event leaks nothing.
    VokObject* item = objectFn ? makeObject(VokObject::Kind::Item, event.camera, event.epoch) : nullptr;
    if (item) {
      item->entry = event.entry;
    }
    const std::uint64_t token = nextToken++;
    inFlight.push_back({token, event.camera, event.kind});
    lock.unlock();
    if (objectFn) {
      objectFn(event.event, item, context);
    } else if (propertyFn) {
      propertyFn(event.event, event.id, event.param, context);
    } else {
      stateFn(event.event, event.param, context);
    }
    lock.lock();
    inFlight.erase(std::find_if(inFlight.begin(), inFlight.end(),
                                [token](const InFlight& f) { return f.token == token; }));
  }
  if (event.unplug) {
    cam = camera(event.camera);
    if (cam && cam->epoch == event.epoch) {
      takeOut(event.camera);
    }
  }
}

// --- the control API's event side ---

void Simulator::firePropertyEvent(CameraId camera, VokPropertyEvent event, VokPropertyID id, VokUInt32 param) {
  std::lock_guard lock(impl_->mutex);
  if (const CameraState* cam = impl_->camera(camera)) {
    impl_->push({camera, cam->epoch, EventKind::Property, event, id, param, false, 0});
  }
}

void Simulator::fireStateEvent(CameraId camera, VokStateEvent event, VokUInt32 param) {
  std::lock_guard lock(impl_->mutex);
  if (const CameraState* cam = impl_->camera(camera)) {
    impl_->push({camera, cam->epoch, EventKind::State, event, 0, param, false, 0});
  }
}

void Simulator::fireObjectEvent(CameraId camera, VokObjectEvent event, const std::string& cardPath) {
  std::lock_guard lock(impl_->mutex);
  if (CameraState* cam = impl_->camera(camera)) {
    Event e{camera, cam->epoch, EventKind::Object, event, 0, 0, false, 0};
    e.entry = cardPath.empty() || cam->volumes.empty() ? 0 : cam->entryAt(cam->volumes.front(), cardPath);
    impl_->push(e);
  }
}

void Simulator::waitForEvents() {
  std::unique_lock lock(impl_->mutex);
  if (impl_->isEventThread()) {
    return;
  }
  impl_->changed.wait(lock, [this] { return impl_->unfinished.empty(); });
}

void Simulator::unplug(CameraId camera) {
  std::unique_lock lock(impl_->mutex);
  CameraState* cam = impl_->camera(camera);
  if (!cam || !cam->plugged || cam->unplugPending) {
    return;
  }
  cam->unplugPending = true;
  const std::uint64_t seq =
      impl_->push({camera, cam->epoch, EventKind::State, kVokStateEvent_Shutdown, 0, 0, true, 0});
  if (seq == 0) {
    impl_->takeOut(camera);  // no event thread: nobody to tell
    return;
  }
  if (impl_->isEventThread()) {
    return;  // taken out once this handler returned and the shutdown event was delivered
  }
  impl_->changed.wait(lock, [&] { return impl_->unfinished.count(seq) == 0; });
}

}  // namespace vok::sim
