#include "camera/EndEvfCommand.h"

#include <QVariant>

#include "camera/CameraModel.h"
#include "camera/CommandSupport.h"
#include "camera/LiveView.h"

using namespace live_view;

bool EndEvfCommand::execute() {
  if ((_model->_evfOutputDevice.load() & kComputerBit) == 0) return true;
  VokCameraRef camera = _model->_camera;
  VokError status = VOK_ERR_OK;
  if (_model->_evfDepthOfFieldPreview.load() != 0) {
    status = writePropertyUInt32(camera, kDepthOfFieldPreview, 0);
    if (status == VOK_ERR_OK && !pause(kPreviewPause)) return true;  // the queue was stopped
  }
  if (status == VOK_ERR_OK) {
    // Only the computer's bit is cleared, on the camera's own current value.
    VokUInt32 current = 0;
    status = readPropertyUInt32(camera, kOutputDevice, current);
    if (status == VOK_ERR_OK) status = writePropertyUInt32(camera, kOutputDevice, current & ~kComputerBit);
  }
  // The store's output device follows when the camera reports the change.
  _model->setPropertyUInt32(kRollPitch, 1);
  notify(*_model, CameraEvent::CameraEventType::angle_INFO, QVariant::fromValue(tagVokCameraPos{}));
  return limitRetries(_model->_viewNotification.reportResultRetryOnError(status), kMaxAttempts);
}
