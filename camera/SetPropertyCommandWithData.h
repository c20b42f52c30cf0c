#pragma once

#include <variant>

#include "camera/Command.h"
#include "vok/VokSdk.h"

// Writes one value to the camera. A failed write is reported once and never retried; the store
// follows only when the camera announces the change.
class SetPropertyCommandWithData final : public Command {
 public:
  using Data = std::variant<VokUInt32, VokEvfZoom, tagVokPoint>;

  SetPropertyCommandWithData(std::shared_ptr<CameraModel> model, VokPropertyID propertyID, Data data);

  [[nodiscard]] VokPropertyID propertyID() const { return _propertyID; }
  [[nodiscard]] const Data& data() const { return _data; }
  [[nodiscard]] bool execute() override;

 private:
  const VokPropertyID _propertyID;
  const Data _data;
};
