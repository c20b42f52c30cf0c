#pragma once

#include "camera/ParameterCommand.h"

// Starts (4) or stops (0) movie recording when the camera is set to movies. Retried while the
// camera is busy.
class SetRecCommand final : public ParameterCommand {
 public:
  static constexpr VokPropertyID kFixedMovie = 0x01000422;
  static constexpr VokPropertyID kRecord = 0x00000510;

  using ParameterCommand::ParameterCommand;
  [[nodiscard]] bool execute() override;
};
