#pragma once

#include <array>
#include <cstdint>

#include "camera/Command.h"
#include "vok/VokSdk.h"

// Reads one property (or the fixed set behind kAllProperties) from the camera into the store,
// choosing how to read by the data type the camera reports.
class GetPropertyCommand final : public Command {
 public:
  static constexpr VokPropertyID kAllProperties = 0xFFFF;
  static constexpr std::array<VokPropertyID, 20> kAllPropertyIds = {
      0x436, 0x406, 0x405, 0x402, 0x403, 0x407, 0x100, 0x50E, 0x40A, 0x106,
      0x01000415, 0x401, 0x01000422, 0x0100045D, 0x01000438, 0x01000421, 0x01000423, 0x114, 0x01000431,
      0x01000506};
  // The largest byte block we agree to read; the camera's reported size is not trusted further.
  static constexpr VokUInt32 kMaxByteBlockSize = 1024 * 1024;
  // The status of a byte block the camera reports as larger than kMaxByteBlockSize. It is the
  // program's own, above every status the SDK returns, so the report never reads as the SDK's.
  static constexpr VokError kByteBlockTooLarge = 0xF0000001;

  GetPropertyCommand(std::shared_ptr<CameraModel> model, VokPropertyID propertyID);

  [[nodiscard]] VokPropertyID propertyID() const { return _propertyID; }
  [[nodiscard]] bool execute() override;
  // Reads `propertyID` into the store and returns the SDK status.
  [[nodiscard]] VokError getProperty(VokPropertyID propertyID);

 private:
  [[nodiscard]] VokError readUInt32(VokPropertyID propertyID);
  [[nodiscard]] VokError readFocusInfo(VokPropertyID propertyID);
  [[nodiscard]] VokError readByteBlock(VokPropertyID propertyID, VokUInt32 size);

  const VokPropertyID _propertyID;
};
