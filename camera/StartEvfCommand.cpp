#include "camera/StartEvfCommand.h"

#include "camera/CameraModel.h"
#include "camera/CommandSupport.h"
#include "camera/LiveView.h"

using namespace live_view;

bool StartEvfCommand::execute() {
  const ViewNotification& report = _model->_viewNotification;
  VokCameraRef camera = _model->_camera;
  if (_model->_evfMode.load() == 0) {
    const VokError status = writePropertyUInt32(camera, kMode, 1);
    if (status != VOK_ERR_OK) return limitRetries(report.reportResult(status), kMaxAttempts);
  }
  // The bit is set on the camera's own current value: the store may not have read it yet, and
  // its "not read" mark must never reach the camera.
  VokUInt32 current = 0;
  VokError status = readPropertyUInt32(camera, kOutputDevice, current);
  if (status == VOK_ERR_OK) {
    const VokUInt32 device = current | kComputerBit;
    status = writePropertyUInt32(camera, kOutputDevice, device);
    if (status == VOK_ERR_OK) {
      // Straight into the field, not through the setter: the start-up value stays what the
      // first read of the property found.
      _model->_evfOutputDevice.store(device);
      notify(*_model, CameraEvent::CameraEventType::download_EVF, reportNumber(kOutputDevice));
    }
  }
  return limitRetries(report.reportResult(status), kMaxAttempts);
}
