#include "camera/DriveLensEvfCommand.h"

#include "camera/CameraModel.h"

bool DriveLensEvfCommand::execute() {
  return _model->_viewNotification.reportResult(VokSendCommand(_model->_camera, kCommand, _parameter));
}
