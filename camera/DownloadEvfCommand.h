#pragma once

#include <QByteArray>

#include "camera/Command.h"
#include "vok/VokSdk.h"

// Fetches one live-view frame with its zoom and geometry and posts it as a CameraEvfData; while
// the roll-and-pitch report is on, also the camera's position. A camera that is not ready is
// retried silently, any other failure after a report; both a limited number of times.
class DownloadEvfCommand final : public Command {
 public:
  static constexpr double kPause = 0.1;  // seconds before each fetch

  using Command::Command;
  [[nodiscard]] bool execute() override;

  // Copies the frame that `stream` holds into `out`. The SDK's pointer and length are trusted
  // only as far as the stream that was made for the frame: no pointer gives no frame, a longer
  // length is cut to the stream's size, and a length of 0 gives an empty frame. False when
  // there is no pointer to copy from.
  [[nodiscard]] static bool copyFrame(VokStreamRef stream, QByteArray& out);

 private:
  // One fetch; every reference it makes is released before it returns.
  [[nodiscard]] VokError downloadFrame();
};
