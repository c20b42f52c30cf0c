#pragma once

#include <QString>

#include "camera/FileCounterCommand.h"

// Downloads every image item of the selected card volume into a folder (the user's pictures
// folder), one by one while the store's transfer flag holds. Always finished after one attempt.
class DownloadAllFilesCommand final : public FileCounterCommand {
 public:
  DownloadAllFilesCommand(std::shared_ptr<CameraModel> model, QString folder);

  [[nodiscard]] const QString& folder() const { return _folder; }
  [[nodiscard]] bool execute() override;
  // Downloads the item at `index` of the walk's list and releases it, whatever the outcome.
  [[nodiscard]] VokError downloadItem(std::size_t index);

 private:
  const QString _folder;
};
