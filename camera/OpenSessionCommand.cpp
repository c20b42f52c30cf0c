#include "camera/OpenSessionCommand.h"

#include <QtEndian>

#include "camera/CameraModel.h"

OpenSessionCommand::OpenSessionCommand(std::shared_ptr<CameraModel> model, std::shared_ptr<Command> followUp)
    : Command(std::move(model)) {
  setFollowUp(std::move(followUp));
}

bool OpenSessionCommand::execute() {
  // A queue stopped during the pause means the camera is gone: touch nothing.
  if (!pause(kPause)) return true;
  VokCameraRef camera = _model->_camera;
  (void)VokOpenSession(camera);
  unsigned char value[4];
  qToLittleEndian<quint32>(kSessionValue, value);
  VokError status = VokSetPropertyData(camera, kSessionProperty, 0, sizeof value, value);
  if (status == VOK_ERR_OK) status = VokSendStatusCommand(camera, 0, 0);
  if (status == VOK_ERR_OK) {
    (void)VokSetCapacity(camera, 0x7FFFFFFF, 0x1000, 1);
    status = VokSendStatusCommand(camera, 1, 0);
  }
  return _model->_viewNotification.reportResult(status);
}
