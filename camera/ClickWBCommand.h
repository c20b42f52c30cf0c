#pragma once

#include "camera/ClickCommand.h"

// Takes the white balance from the clicked point of the live-view image.
class ClickWBCommand final : public ClickCommand {
 public:
  static constexpr VokCameraCommand kCommand = 0x00000104;

  using ClickCommand::ClickCommand;

 protected:
  [[nodiscard]] VokError clickAtPoint(VokInt32 packedPoint) override;
};
