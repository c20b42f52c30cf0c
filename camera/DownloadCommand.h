#pragma once

#include <QString>

#include "camera/Command.h"
#include "camera/VokReference.h"
#include "vok/VokSdk.h"

// Downloads one item that the camera offers into a folder (the application's data folder),
// with progress reports. Owns the item from its creation and releases it once, whether it runs
// or not. Always finished after one attempt.
class DownloadCommand final : public Command {
 public:
  // Takes ownership of `directoryItem`.
  DownloadCommand(std::shared_ptr<CameraModel> model, VokDirectoryItemRef directoryItem,
                  VokProgressCallback progressFunc, QString folder);

  [[nodiscard]] VokDirectoryItemRef directoryItem() const { return _directoryItem.get(); }
  [[nodiscard]] const QString& folder() const { return _folder; }
  [[nodiscard]] bool execute() override;

  // Reports the download's progress as download_PROGRESS with the percentage.
  static VokError downloadProgressCallback(VokUInt32 percent, void* context, VokBool* cancel);

  const VokProgressCallback ProgressFunc;

 private:
  VokReference _directoryItem;
  const QString _folder;
};
