#include "camera/DeleteAllFilesCommand.h"

#include "camera/CameraModel.h"

bool DeleteAllFilesCommand::execute() {
  runOnItems(
      _model->_isFileDeleting,
      [this](std::size_t index) {
        const VokReference item = std::move(_imageItems[index]);  // released whatever the outcome
        return VokDeleteDirectoryItem(item.get());
      },
      CameraEvent::CameraEventType::file_DELETE_COMPLETED);
  return true;
}
