#include "camera/ClickCommand.h"

#include "camera/CameraModel.h"
#include "camera/CommandSupport.h"
#include "camera/LiveView.h"

bool ClickCommand::execute() {
  // Live view may be about to start: wait for it, but not for ever.
  if (!_model->isEvfEnable.load()) return waitOrGiveUp(live_view::kStatusLiveViewOff);
  VokError status = VOK_ERR_OK;
  if (_parameter == kCursor) {
    notify(*_model, CameraEvent::CameraEventType::mouse_CURSOR, reportNumber(1));
  } else if (_parameter == kAtPoint) {
    status = clickAtPoint(_model->_clickPoint.load());
  }
  return _model->_viewNotification.reportResult(status);
}
