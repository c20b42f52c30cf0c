#pragma once

#include <type_traits>

#include "vok/VokSdk.h"

// The three SDK event handlers. Their context is the CameraController they were installed
// for; they turn the events the program acts on into actions for it and always return 0.
class CameraEventListener {
 public:
  CameraEventListener() = delete;

  // 0x208: the offered item goes to the controller's download row, which takes the reference
  // over. Any other object event: the reference is released here.
  static VokError objectEventHandler(VokObjectEvent event, VokBaseRef ref, void* context);
  // 0x101: read the property again; 0x102: read its descriptor again.
  static VokError propertyEventHandler(VokPropertyEvent event, VokPropertyID propertyID, VokUInt32 param,
                                       void* context);
  // 0x301: the camera shut down.
  static VokError stateEventHandler(VokStateEvent event, VokUInt32 param, void* context);
};

static_assert(std::is_same_v<decltype(&CameraEventListener::objectEventHandler), VokObjectEventHandler>);
static_assert(std::is_same_v<decltype(&CameraEventListener::propertyEventHandler), VokPropertyEventHandler>);
static_assert(std::is_same_v<decltype(&CameraEventListener::stateEventHandler), VokStateEventHandler>);
