#pragma once

#include "camera/ParameterCommand.h"

// Switches the camera's roll-and-pitch report to the store's value (0 on, 1 off) while live
// view is on. Never retried.
class SetRollPitchCommand final : public ParameterCommand {
 public:
  static constexpr VokCameraCommand kCommand = 0x00000109;

  using ParameterCommand::ParameterCommand;
  [[nodiscard]] bool execute() override;
};
