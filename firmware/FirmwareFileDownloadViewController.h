#pragma once

#include <QString>

#include <optional>

#include "firmware/CameraFirmwareInfo.h"
#include "platform/ViewController.h"

// Downloads the chosen firmware, takes the firmware file out of its disk image, lets the user
// choose the memory card and copies the file onto it.
class FirmwareFileDownloadViewController : public platform::ViewController {
  Q_OBJECT

 public:
  explicit FirmwareFileDownloadViewController(QObject* parent = nullptr);
  ~FirmwareFileDownloadViewController() override;

  // Inputs, set by the firmware list before the view loads.
  std::optional<QString> productName = QString();
  CameraFirmwareInfoPtr selectedCameraFirmwareInfo;
};
