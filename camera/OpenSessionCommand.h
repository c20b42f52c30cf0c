#pragma once

#include "camera/Command.h"
#include "vok/VokSdk.h"

// Opens the camera's session. A busy camera makes the whole sequence run again, pause included.
class OpenSessionCommand final : public Command {
 public:
  static constexpr double kPause = 0.5;  // seconds before each attempt
  static constexpr VokPropertyID kSessionProperty = 0x0000000B;
  static constexpr VokUInt32 kSessionValue = 2;

  // `followUp`, if given, is queued once the opening has finished (successfully or with an
  // error other than busy), so that it never runs on a session still being opened.
  explicit OpenSessionCommand(std::shared_ptr<CameraModel> model, std::shared_ptr<Command> followUp = nullptr);

  [[nodiscard]] bool execute() override;
};
