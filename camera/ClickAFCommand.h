#pragma once

#include "camera/ClickCommand.h"

// Moves the focus frame to the clicked point of the live-view image.
class ClickAFCommand final : public ClickCommand {
 public:
  using ClickCommand::ClickCommand;

 protected:
  [[nodiscard]] VokError clickAtPoint(VokInt32 packedPoint) override;
};
