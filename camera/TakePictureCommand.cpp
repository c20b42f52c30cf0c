#include "camera/TakePictureCommand.h"

#include "camera/CameraModel.h"

bool TakePictureCommand::execute() {
  VokCameraRef camera = _model->_camera;
  const VokError press = VokSendCommand(camera, kVokCameraCommand_PressShutterButton, kVokShutterButton_Completely);
  // The button is let go whatever the press did, so that it is never left held down.
  const VokError release = VokSendCommand(camera, kVokCameraCommand_PressShutterButton, kVokShutterButton_Off);
  const ViewNotification& report = _model->_viewNotification;
  (void)report.reportResultNoRetry(press);
  (void)report.reportResultNoRetry(release);
  _model->canDownloadImage.store(true);
  return true;
}
