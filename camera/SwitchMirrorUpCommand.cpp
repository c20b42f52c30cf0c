#include "camera/SwitchMirrorUpCommand.h"

#include "camera/CameraModel.h"
#include "camera/CommandSupport.h"

bool SwitchMirrorUpCommand::execute() {
  const VokUInt32 state = _model->getPropertyUInt32(kState);
  // The mirror is on its way: wait for it to settle, but not for ever; a mirror that never
  // settles is a busy camera.
  if (state == 2) return waitOrGiveUp(VOK_ERR_DEVICE_BUSY);
  VokError status = VOK_ERR_OK;
  if (_parameter == 1 && state == 0) {
    status = writePropertyUInt32(_model->_camera, kSetting, 1);
  } else if (_parameter == 0 && state == 1) {
    status = writePropertyUInt32(_model->_camera, kSetting, 0);
  }
  return _model->_viewNotification.reportResult(status);
}
