#pragma once

#include <memory>

#include "camera/CameraEvent.h"
#include "vok/VokSdk.h"

namespace platform {
class NotificationCenter;
}

// Posts camera reports on the main thread and turns SDK statuses into retry decisions.
class ViewNotification {
 public:
  // Posts `event` under "MY_VIEW_UPDATE": at once on the main thread, else by a hop to it.
  void notify(std::shared_ptr<const CameraEvent> event) const;

  // True: the command is finished. False: run it again.
  [[nodiscard]] bool reportResultNoRetry(VokError status) const;
  [[nodiscard]] bool reportResult(VokError status) const;
  [[nodiscard]] bool reportResultRetryOnError(VokError status) const;

 private:
  void postStatus(VokError status) const;
};

// The main-thread posting rule that both "VIEW_EVENT" and "MY_VIEW_UPDATE" follow.
void postOnMainThread(const char* name, platform::ObjectPtr object);
