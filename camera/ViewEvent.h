#pragma once

#include <cstdint>

#include "platform/Object.h"

// A step of the screen flow, posted under "VIEW_EVENT" and always delivered on the main thread.
class ViewEvent final : public platform::Object {
 public:
  enum class ViewEventType : std::uint8_t {
    MAIN_WINDOW_SHOW_CHECK_DEVICE,
    MAIN_WINDOW_SHOW_CHECK_SUPPORT_DEVICE_VIEW,
    MAIN_WINDOW_SHOW_FRIMWARE_DOWNLOAD_VIEW,
    CHECK_DEVICE_CONNECT,
    GET_DEVICE_INFO,
    DEVICE_CONNECTED,
    DEVICE_DISCONNECTED,
    device_BUSY,
    terminate_APP,
    download_EVF,
    evf_DATA_CHANGED,
    property_CHANGED,
    propertydesc_CHANGED,
    download_START,
    download_COMPLETED,
    download_PROGRESS,
    file_COUNT_COMPLETED,
    file_DOWNLOAD_COMPLETED,
    file_DELETE_COMPLETED,
    file_DELETE_CANCEL,
    close_PROGRESS,
    angle_INFO,
    mouse_CURSOR,
  };
  static constexpr int kTypeCount = 23;

  explicit ViewEvent(ViewEventType type) : _type(type) {}
  [[nodiscard]] ViewEventType type() const { return _type; }

  // Posts `event` under "VIEW_EVENT": at once on the main thread, else by a hop to it.
  static void post(std::shared_ptr<const ViewEvent> event);
  static void post(ViewEventType type) { post(std::make_shared<const ViewEvent>(type)); }

 private:
  const ViewEventType _type;
};

inline constexpr const char* kViewEvent = "VIEW_EVENT";
