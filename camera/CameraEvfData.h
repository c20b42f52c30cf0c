#pragma once

#include <QByteArray>

#include "vok/VokSdk.h"

// One live-view frame with its zoom and geometry, the argument of evf_DATA_CHANGED. Filled by
// the live-view download and not changed once posted.
class CameraEvfData {
 public:
  QByteArray _stream;           // the frame's bytes
  VokUInt32 _zoom = 1;
  tagVokRect _zoomRect{};
  tagVokPoint _zoomPosition{};  // not filled
  tagVokPoint _imagePosition{};
  tagVokSize _sizeJpeglarge{};
  VokUInt64 _imageSize = 0;     // not filled
  tagVokRect _visibleRect{};
};
