#include "camera/SwitchStillMovieCommand.h"

#include "camera/CameraModel.h"
#include "camera/CommandSupport.h"
#include "camera/OpenSessionCommand.h"

bool SwitchStillMovieCommand::execute() {
  VokCameraRef camera = _model->_camera;
  VokUInt32 fixedMovie = 0;
  (void)readPropertyUInt32(camera, kFixedMovie, fixedMovie);
  if (fixedMovie == 0 && _parameter == kStill) return true;  // already still
  if (_parameter == kMovie) {
    (void)writePropertyUInt32(camera, kSaveTo, 1);
  } else {
    // Back to what the session opening set.
    (void)writePropertyUInt32(camera, kSaveTo, OpenSessionCommand::kSessionValue);
    (void)VokSetCapacity(camera, 0x7FFFFFFF, 0x1000, 1);
  }
  return _model->_viewNotification.reportResult(
      VokSendCommand(camera, static_cast<VokCameraCommand>(_parameter), 0));
}
