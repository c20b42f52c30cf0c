#pragma once

#include "camera/ParameterCommand.h"

// Drives the lens focus during live view: 1 to 3 nearer, 0x8001 to 0x8003 farther. Retried
// while the camera is busy.
class DriveLensEvfCommand final : public ParameterCommand {
 public:
  static constexpr VokCameraCommand kCommand = 0x00000103;

  using ParameterCommand::ParameterCommand;
  [[nodiscard]] bool execute() override;
};
