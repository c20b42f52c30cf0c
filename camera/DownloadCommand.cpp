#include "camera/DownloadCommand.h"

#include "camera/CameraModel.h"
#include "camera/CardFiles.h"
#include "camera/CommandSupport.h"

using Type = CameraEvent::CameraEventType;

DownloadCommand::DownloadCommand(std::shared_ptr<CameraModel> model, VokDirectoryItemRef directoryItem,
                                 VokProgressCallback progressFunc, QString folder)
    : Command(std::move(model)), ProgressFunc(progressFunc), _directoryItem(directoryItem), _folder(std::move(folder)) {}

bool DownloadCommand::execute() {
  if (!_model->canDownloadImage.load()) return true;  // the item goes with the command
  ItemDownload how;
  how.onRecordRead = [this] { notify(*_model, Type::download_START, reportNumber(0)); };
  how.progress = ProgressFunc;
  how.context = this;
  const VokError status = downloadItemToFolder(_directoryItem.get(), _folder, how);
  _directoryItem.reset();
  if (status != VOK_ERR_OK) {
    notify(*_model, Type::error, reportNumber(status));
  } else {
    notify(*_model, Type::download_COMPLETED, reportNumber(0));
  }
  return true;
}

VokError DownloadCommand::downloadProgressCallback(VokUInt32 percent, void*, VokBool*) {
  ViewNotification().notify(std::make_shared<const CameraEvent>(Type::download_PROGRESS, reportNumber(percent)));
  return VOK_ERR_OK;
}
