#include "camera/FormatVolumeCommand.h"

#include "camera/CameraModel.h"
#include "camera/VokReference.h"

bool FormatVolumeCommand::execute() {
  VokCameraRef camera = _model->_camera;
  const VokUInt32 index = _model->_selectedVolumeIndex.load();
  VokUInt32 count = 0;
  VokError status = VokGetChildCount(camera, &count);
  if (status != VOK_ERR_OK) count = 0;  // an out value counts only after success
  if (count <= index) {
    status = VOK_ERR_NO_VOLUME;
  } else {
    VokReference volume;
    status = volume.obtain([&](VokBaseRef* out) { return VokGetChildAtIndex(camera, static_cast<VokInt32>(index), out); });
    // A volume that cannot be fetched is reported as such, never formatted through a null reference.
    if (status == VOK_ERR_OK) status = VokFormatVolume(volume.get());
  }
  return _model->_viewNotification.reportResult(status);
}
