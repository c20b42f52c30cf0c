#include "camera/DoEvfAFCommand.h"

#include "camera/CameraModel.h"

bool DoEvfAFCommand::execute() {
  return _model->_viewNotification.reportResult(VokSendCommand(_model->_camera, kCommand, _parameter));
}
