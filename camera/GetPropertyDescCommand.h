#pragma once

#include <array>

#include "camera/Command.h"
#include "vok/VokSdk.h"

// Reads one property's allowed-values descriptor (or the fixed set behind kAllProperties)
// from the camera into the store.
class GetPropertyDescCommand final : public Command {
 public:
  static constexpr VokPropertyID kAllProperties = 0xFFFF;
  static constexpr std::array<VokPropertyID, 14> kAllPropertyIds = {
      0x436, 0x406, 0x405, 0x402, 0x403, 0x407, 0x100, 0x50E, 0x106, 0x401, 0x01000423, 0x0100045D, 0x114,
      0x01000431};

  GetPropertyDescCommand(std::shared_ptr<CameraModel> model, VokPropertyID propertyID);

  [[nodiscard]] VokPropertyID propertyID() const { return _propertyID; }
  [[nodiscard]] bool execute() override;
  // Reads the descriptor of `propertyID` into the store and returns the SDK status.
  [[nodiscard]] VokError getPropertyDesc(VokPropertyID propertyID);

 private:
  const VokPropertyID _propertyID;
};
