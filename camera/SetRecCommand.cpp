#include "camera/SetRecCommand.h"

#include "camera/CameraModel.h"
#include "camera/CommandSupport.h"

bool SetRecCommand::execute() {
  VokError status = VOK_ERR_OK;
  if (_model->getPropertyUInt32(kFixedMovie) == 1) {
    status = writePropertyUInt32(_model->_camera, kRecord, static_cast<VokUInt32>(_parameter));
  }
  return _model->_viewNotification.reportResult(status);
}
