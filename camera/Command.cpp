#include "camera/Command.h"

#include "camera/CameraModel.h"
#include "platform/Clock.h"

Command::Command(std::shared_ptr<CameraModel> model) : _model(std::move(model)) {}

Command::~Command() = default;

bool Command::execute() { return true; }

bool Command::pause(double seconds) const { return platform::sleepFor(seconds, _cancellation); }

bool Command::limitRetries(bool finished, int limit) { return finished || ++_attempts >= limit; }

bool Command::waitOrGiveUp(VokError status) {
  if (!limitRetries(false, kMaxAttempts)) return false;
  return _model->_viewNotification.reportResultNoRetry(status);
}
