#include "camera/ViewEvent.h"
#include "camera/ViewNotification.h"

#include <QString>

#include "platform/NotificationCenter.h"
#include "platform/Queues.h"

void postOnMainThread(const char* name, platform::ObjectPtr object) {
  const QString notificationName = QString::fromLatin1(name);
  if (platform::isMainThread()) {
    platform::NotificationCenter::defaultCenter().post(notificationName, std::move(object));
    return;
  }
  platform::MainQueue::async([notificationName, object = std::move(object)] {
    platform::NotificationCenter::defaultCenter().post(notificationName, object);
  });
}

void ViewEvent::post(std::shared_ptr<const ViewEvent> event) { postOnMainThread(kViewEvent, std::move(event)); }

void ViewNotification::notify(std::shared_ptr<const CameraEvent> event) const {
  postOnMainThread(kMyViewUpdate, std::move(event));
}

void ViewNotification::postStatus(VokError status) const {
  const auto type = status == VOK_ERR_DEVICE_BUSY ? CameraEvent::CameraEventType::device_BUSY
                                                  : CameraEvent::CameraEventType::error;
  notify(std::make_shared<const CameraEvent>(type, QVariant::fromValue<quint32>(status)));
}

bool ViewNotification::reportResultNoRetry(VokError status) const {
  if (status != VOK_ERR_OK) postStatus(status);
  return true;
}

bool ViewNotification::reportResult(VokError status) const {
  if (status == VOK_ERR_OK) return true;
  postStatus(status);
  return status != VOK_ERR_DEVICE_BUSY;
}

bool ViewNotification::reportResultRetryOnError(VokError status) const {
  if (status == VOK_ERR_OK) return true;
  postStatus(status);
  return false;
}
