#include "camera/SetRollPitchCommand.h"

#include <QVariant>

#include "camera/CameraModel.h"
#include "camera/CommandSupport.h"
#include "camera/LiveView.h"

bool SetRollPitchCommand::execute() {
  // The command takes the 32 bits as they are.
  const auto value = static_cast<VokInt32>(_model->getPropertyUInt32(live_view::kRollPitch));
  if (!_model->isEvfEnable.load()) return true;
  const VokError status = VokSendCommand(_model->_camera, kCommand, value);
  if (value == 1) notify(*_model, CameraEvent::CameraEventType::angle_INFO, QVariant::fromValue(tagVokCameraPos{}));
  return _model->_viewNotification.reportResultNoRetry(status);
}
