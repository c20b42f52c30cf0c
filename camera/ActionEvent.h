#pragma once

#include <QVariant>

#include <cstdint>
#include <memory>

#include "platform/Object.h"
#include "vok/VokSdk.h"

// Wraps one SDK reference so that it can ride in an ActionEvent. It does not own the
// reference: the command that receives it takes it over.
class ActionVokRef final {
 public:
  explicit ActionVokRef(VokBaseRef ref) : _ref(ref) {}
  [[nodiscard]] VokBaseRef ref() const { return _ref; }

 private:
  VokBaseRef _ref;
};

// An action for the camera controller, observed under "ACTION_PERFORMED_MESSAGE".
class ActionEvent final : public platform::Object {
 public:
  enum class Command : std::uint8_t {
    none, download, take_PICTURE, set_CAMERASETTING, press_COMPLETELY, press_HALFWAY, press_OFF,
    start_EVF, end_EVF, get_PROPERTY, get_PROPERTYDESC, download_EVF, set_AE_MODE, set_DRIVE_MODE,
    set_FLASHOPTION, set_FLASHOUTPUT, set_MUTE, set_AFASSISTBEAM, set_REDEYELAMP, set_WHITE_BALANCE,
    set_METERING_MODE, set_EXPOSURE_COMPENSATION, set_IMAGEQUALITY, set_AV, set_TV, set_LED,
    set_ISO_SPEED, set_ASPECT_RATIO, set_EVF_AFMODE, set_ZOOM, set_AF_MODE, set_STROBO,
    set_MOVIEQUALITY, set_MOVIE_HFR, set_PICTURESTYLE, set_ASPECT, evf_AF_ON, evf_AF_OFF,
    focus_NEAR1, focus_NEAR2, focus_NEAR3, focus_FAR1, focus_FAR2, focus_FAR3, zoom_FIT, zoom_ZOOM,
    zoom_UP, zoom_LEFT, zoom_RIGHT, zoom_DOWN, download_ALLFILES, delete_ALLFILES, format_VOLUME,
    remoteshooting_START, remoteshooting_END, rool_PITCH, press_STILL, press_MOVIE, rec_START,
    rec_END, click_WB, click_MOUSE_WB, click_AF, click_MOUSE_AF, mirrorup_ON, mirrorup_OFF, shut_DOWN,
  };
  static constexpr int kCommandCount = 67;

  // `object` holds a number (a property id or a value to write) or a shared ActionVokRef.
  ActionEvent(Command command, QVariant object) : _command(command), _object(std::move(object)) {}
  ActionEvent(Command command, std::shared_ptr<const ActionVokRef> ref)
      : _command(command), _ref(std::move(ref)) {}

  [[nodiscard]] Command command() const { return _command; }
  [[nodiscard]] const QVariant& object() const { return _object; }
  [[nodiscard]] const std::shared_ptr<const ActionVokRef>& vokRef() const { return _ref; }

 private:
  const Command _command;
  const QVariant _object;
  const std::shared_ptr<const ActionVokRef> _ref;
};

static_assert(static_cast<int>(ActionEvent::Command::shut_DOWN) == 66);

inline constexpr const char* kActionPerformedMessage = "ACTION_PERFORMED_MESSAGE";
