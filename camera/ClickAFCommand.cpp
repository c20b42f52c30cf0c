#include "camera/ClickAFCommand.h"

#include "camera/CameraModel.h"

VokError ClickAFCommand::clickAtPoint(VokInt32 packedPoint) {
  return VokSetFramePoint(_model->_camera, unpackClickPoint(packedPoint), 1);
}
