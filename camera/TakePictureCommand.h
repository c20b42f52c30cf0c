#pragma once

#include "camera/Command.h"

// Presses the shutter button fully and lets it go: one picture. Never retried.
class TakePictureCommand final : public Command {
 public:
  using Command::Command;
  [[nodiscard]] bool execute() override;
};
