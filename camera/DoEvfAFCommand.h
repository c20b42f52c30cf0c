#pragma once

#include "camera/ParameterCommand.h"

// Starts (1) or stops (0) autofocus during live view. Retried while the camera is busy.
class DoEvfAFCommand final : public ParameterCommand {
 public:
  static constexpr VokCameraCommand kCommand = 0x00000102;

  using ParameterCommand::ParameterCommand;
  [[nodiscard]] bool execute() override;
};
