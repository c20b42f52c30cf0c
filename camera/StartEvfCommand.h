#pragma once

#include "camera/Command.h"

// Turns the live-view output to the computer on: live-view mode if it is off, then the
// computer's bit in the output device. A busy camera is retried a limited number of times.
class StartEvfCommand final : public Command {
 public:
  using Command::Command;
  [[nodiscard]] bool execute() override;
};
