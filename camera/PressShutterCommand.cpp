#include "camera/PressShutterCommand.h"

#include "camera/CameraModel.h"

bool PressShutterCommand::execute() {
  const VokError status = VokSendCommand(_model->_camera, kVokCameraCommand_PressShutterButton, _parameter);
  (void)_model->_viewNotification.reportResultNoRetry(status);
  if (_parameter == kVokShutterButton_Completely) {
    // Drive modes 1 and 4 leave the offered pictures alone.
    const VokUInt32 driveMode = _model->getPropertyUInt32(kDriveMode);
    if (driveMode != 1 && driveMode != 4) _model->canDownloadImage.store(true);
  }
  return true;
}
