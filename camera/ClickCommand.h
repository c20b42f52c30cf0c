#pragma once

#include "camera/ParameterCommand.h"

// A click on the live-view image: 1 asks the screen for a cursor, 2 acts on the store's click
// point. Waits, retrying, until live view is on (a limited number of times, then reports
// kStatusLiveViewOff once); then retried while the camera is busy.
class ClickCommand : public ParameterCommand {
 public:
  static constexpr VokInt32 kCursor = 1;
  static constexpr VokInt32 kAtPoint = 2;

  using ParameterCommand::ParameterCommand;
  [[nodiscard]] bool execute() final;

 protected:
  // The click at the store's point; returns the SDK status.
  [[nodiscard]] virtual VokError clickAtPoint(VokInt32 packedPoint) = 0;
};

// The packed click point: x in the upper 16 bits (signed), y in the lower 16 (unsigned).
[[nodiscard]] constexpr tagVokPoint unpackClickPoint(VokInt32 packed) {
  return {packed >> 16, packed & 0xFFFF};
}
