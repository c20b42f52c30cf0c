#pragma once

#include "camera/Command.h"

// Turns the live-view output to the computer off again (ending a depth-of-field preview first)
// and resets the roll-and-pitch report. Any failure is retried, a limited number of times.
class EndEvfCommand final : public Command {
 public:
  static constexpr double kPreviewPause = 0.5;  // seconds after ending the preview

  using Command::Command;
  [[nodiscard]] bool execute() override;
};
