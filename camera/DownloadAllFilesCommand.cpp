#include "camera/DownloadAllFilesCommand.h"

#include "camera/CameraModel.h"
#include "camera/CardFiles.h"

DownloadAllFilesCommand::DownloadAllFilesCommand(std::shared_ptr<CameraModel> model, QString folder)
    : FileCounterCommand(std::move(model)), _folder(std::move(folder)) {}

bool DownloadAllFilesCommand::execute() {
  runOnItems(_model->_isFileTransferring, [this](std::size_t index) { return downloadItem(index); },
             CameraEvent::CameraEventType::file_DOWNLOAD_COMPLETED);
  return true;
}

VokError DownloadAllFilesCommand::downloadItem(std::size_t index) {
  if (index >= _imageItems.size()) return VOK_ERR_INVALID_PARAMETER;
  const VokReference item = std::move(_imageItems[index]);
  return downloadItemToFolder(item.get(), _folder);
}
