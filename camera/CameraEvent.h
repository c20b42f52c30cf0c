#pragma once

#include <QVariant>

#include <cstdint>
#include <memory>

#include "platform/Object.h"

// A report of the camera layer, posted under "MY_VIEW_UPDATE".
class CameraEvent final : public platform::Object {
 public:
  enum class CameraEventType : std::uint8_t {
    error,
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

  CameraEvent(CameraEventType type, QVariant arg) : _type(type), _arg(std::move(arg)) {}

  [[nodiscard]] CameraEventType type() const { return _type; }
  // For statuses and property ids a quint32; other posters say what they put here.
  [[nodiscard]] const QVariant& arg() const { return _arg; }

 private:
  const CameraEventType _type;
  const QVariant _arg;
};

inline constexpr const char* kMyViewUpdate = "MY_VIEW_UPDATE";
