#pragma once

#include "camera/Command.h"

// Formats the selected volume of the camera's card. Retried while the camera is busy.
class FormatVolumeCommand final : public Command {
 public:
  using Command::Command;
  [[nodiscard]] bool execute() override;
};
