#include "platform/NotificationCenter.h"

#include <algorithm>

namespace platform {

// One registration. `alive` turns false under `callMutex` when the observer is removed, so a
// removal waits for a call in progress on another thread and no call starts after it.
struct NotificationCenter::Entry {
  const void* observer;
  QString name;
  Handler handler;
  std::recursive_mutex callMutex;
  bool alive = true;
};

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter center;
  return center;
}

NotificationCenter::NotificationCenter() = default;
NotificationCenter::~NotificationCenter() = default;

void NotificationCenter::addObserver(const void* observer, const QString& name, Handler handler) {
  auto entry = std::make_shared<Entry>();
  entry->observer = observer;
  entry->name = name;
  entry->handler = std::move(handler);
  std::lock_guard lock(mutex_);
  entries_.push_back(std::move(entry));
}

void NotificationCenter::removeObserver(const void* observer) {
  std::vector<std::shared_ptr<Entry>> removed;
  {
    std::lock_guard lock(mutex_);
    auto split = std::stable_partition(entries_.begin(), entries_.end(),
                                       [&](const auto& e) { return e->observer != observer; });
    removed.assign(split, entries_.end());
    entries_.erase(split, entries_.end());
  }
  for (auto& e : removed) {
    std::lock_guard call(e->callMutex);
    e->alive = false;
  }
}

void NotificationCenter::removeObserver(const void* observer, const QString& name) {
  std::vector<std::shared_ptr<Entry>> removed;
  {
    std::lock_guard lock(mutex_);
    auto split = std::stable_partition(entries_.begin(), entries_.end(), [&](const auto& e) {
      return e->observer != observer || e->name != name;
    });
    removed.assign(split, entries_.end());
    entries_.erase(split, entries_.end());
  }
  for (auto& e : removed) {
    std::lock_guard call(e->callMutex);
    e->alive = false;
  }
}

bool NotificationCenter::hasObserver(const void* observer) const {
  std::lock_guard lock(mutex_);
  return std::any_of(entries_.begin(), entries_.end(), [&](const auto& e) { return e->observer == observer; });
}

void NotificationCenter::post(const QString& name, ObjectPtr object) {
  std::vector<std::shared_ptr<Entry>> targets;
  {
    std::lock_guard lock(mutex_);
    for (const auto& e : entries_) {
      if (e->name.isEmpty() || e->name == name) targets.push_back(e);
    }
  }
  const Notification notification{name, std::move(object)};
  for (const auto& e : targets) {
    std::lock_guard call(e->callMutex);
    if (!e->alive) continue;
    e->handler(notification);
  }
}

}  // namespace platform
