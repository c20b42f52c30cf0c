#pragma once

#include "camera/ParameterCommand.h"

// Starts (1) or ends (0) remote shooting, unless the camera's remote-shooting state says not
// to. Always finished after one attempt.
class SetRemoteShootingCommand final : public ParameterCommand {
 public:
  static constexpr VokPropertyID kState = 0x00000605;
  static constexpr VokCameraCommand kCommand = 0x0000010F;

  using ParameterCommand::ParameterCommand;
  [[nodiscard]] bool execute() override;
};
