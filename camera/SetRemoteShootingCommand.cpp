#include "camera/SetRemoteShootingCommand.h"

#include "camera/CameraModel.h"
#include "camera/CommandSupport.h"

bool SetRemoteShootingCommand::execute() {
  VokUInt32 state = 0;
  if (readPropertyUInt32(_model->_camera, kState, state) == VOK_ERR_OK && state != 1) {
    (void)_model->_viewNotification.reportResult(VokSendCommand(_model->_camera, kCommand, _parameter));
  }
  return true;
}
