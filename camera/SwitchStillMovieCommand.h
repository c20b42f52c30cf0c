#pragma once

#include "camera/ParameterCommand.h"

// Switches the camera to movie (0x107) or still (0x108) shooting; the parameter is the camera
// command to send. Retried while the camera is busy.
class SwitchStillMovieCommand final : public ParameterCommand {
 public:
  static constexpr VokInt32 kMovie = 0x107;
  static constexpr VokInt32 kStill = 0x108;
  static constexpr VokPropertyID kFixedMovie = 0x01000422;
  static constexpr VokPropertyID kSaveTo = 0x0000000B;

  using ParameterCommand::ParameterCommand;
  [[nodiscard]] bool execute() override;
};
