#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Object.h"

namespace platform {

struct Notification {
  QString name;
  ObjectPtr object;  // may be null
};

// Delivers named notifications to observers, synchronously on the posting thread.
// An observer is identified by an address (usually `this`); removing it ends every
// registration made under that address. Adding or removing observers during a delivery is
// safe, and an observer removed (on any thread) is never called afterwards: removal waits
// for a call that is running on another thread.
class NotificationCenter {
 public:
  using Handler = std::function<void(const Notification&)>;

  static NotificationCenter& defaultCenter();

  NotificationCenter();
  ~NotificationCenter();
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  // An empty name observes every notification.
  void addObserver(const void* observer, const QString& name, Handler handler);
  void removeObserver(const void* observer);
  void removeObserver(const void* observer, const QString& name);
  void post(const QString& name, ObjectPtr object = nullptr);
  [[nodiscard]] bool hasObserver(const void* observer) const;

 private:
  struct Entry;
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Entry>> entries_;
};

}  // namespace platform
