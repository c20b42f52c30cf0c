#pragma once

#include "camera/ParameterCommand.h"

// Moves the shutter button to one position (3 fully, 1 halfway, 0 off). Never retried.
class PressShutterCommand final : public ParameterCommand {
 public:
  static constexpr VokPropertyID kDriveMode = 0x00000401;

  using ParameterCommand::ParameterCommand;
  [[nodiscard]] bool execute() override;
};
