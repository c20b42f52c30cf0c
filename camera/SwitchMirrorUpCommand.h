#pragma once

#include "camera/ParameterCommand.h"

// Locks the mirror up (1) or lets it down (0) when it is not already so. Waits, retrying, while
// the camera is between the two (state 2), a limited number of times; then reports a busy
// camera once.
class SwitchMirrorUpCommand final : public ParameterCommand {
 public:
  static constexpr VokPropertyID kState = 0x01000421;
  static constexpr VokPropertyID kSetting = 0x01000438;

  using ParameterCommand::ParameterCommand;
  [[nodiscard]] bool execute() override;
};
