#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

// One firmware that the service offers for the camera. Entries are shared: the list, the
// list screen's selection and the download screen hold the same object.
class CameraFirmwareInfo {
 public:
  std::optional<QString> version;
  std::optional<QString> description;
  std::optional<QString> fileName;
  std::optional<std::int64_t> fileSize;
  std::optional<QString> downloadLink;
};

using CameraFirmwareInfoPtr = std::shared_ptr<CameraFirmwareInfo>;
