#pragma once

#include "camera/Command.h"
#include "vok/VokSdk.h"

// A camera command with one fixed 32-bit value, set by the action that made it.
class ParameterCommand : public Command {
 public:
  ParameterCommand(std::shared_ptr<CameraModel> model, VokInt32 parameter)
      : Command(std::move(model)), _parameter(parameter) {}

  [[nodiscard]] VokInt32 parameter() const { return _parameter; }

 protected:
  const VokInt32 _parameter;
};
