#include "camera/ClickWBCommand.h"

#include "camera/CameraModel.h"

VokError ClickWBCommand::clickAtPoint(VokInt32 packedPoint) {
  return VokSendCommand(_model->_camera, kCommand, packedPoint);
}
