// The remote-control rows of the action dispatcher: each action becomes the commands that carry
// it out, posted in order to the camera's queue.

#include <algorithm>
#include <cstdint>
#include <limits>

#include "camera/CameraController.h"
#include "camera/CameraModel.h"
#include "camera/ClickAFCommand.h"
#include "camera/ClickWBCommand.h"
#include "camera/CommandProcessor.h"
#include "camera/DeleteAllFilesCommand.h"
#include "camera/DoEvfAFCommand.h"
#include "camera/DownloadAllFilesCommand.h"
#include "camera/DownloadCommand.h"
#include "camera/DownloadEvfCommand.h"
#include "camera/DriveLensEvfCommand.h"
#include "camera/EndEvfCommand.h"
#include "camera/FormatVolumeCommand.h"
#include "camera/LiveView.h"
#include "camera/PressShutterCommand.h"
#include "camera/SetPropertyCommandWithData.h"
#include "camera/SetRecCommand.h"
#include "camera/SetRemoteShootingCommand.h"
#include "camera/SetRollPitchCommand.h"
#include "camera/StartEvfCommand.h"
#include "camera/SwitchMirrorUpCommand.h"
#include "camera/SwitchStillMovieCommand.h"
#include "camera/TakePictureCommand.h"

namespace {

constexpr VokPropertyID kEvfZoom = 0x00000507;
constexpr VokPropertyID kEvfZoomPosition = 0x00000508;
constexpr VokPropertyID kEvfAFMode = 0x0000050E;
constexpr std::int64_t kZoomStep = 128;

}  // namespace

tagVokPoint movedZoomPosition(tagVokPoint position, ActionEvent::Command move) {
  using C = ActionEvent::Command;
  auto back = [](VokInt32 v) { return static_cast<VokInt32>(std::max<std::int64_t>(std::int64_t{v} - kZoomStep, 0)); };
  auto on = [](VokInt32 v) {
    return static_cast<VokInt32>(
        std::min<std::int64_t>(std::int64_t{v} + kZoomStep, std::numeric_limits<VokInt32>::max()));
  };
  switch (move) {
    case C::zoom_UP: position.y = back(position.y); break;
    case C::zoom_DOWN: position.y = on(position.y); break;
    case C::zoom_LEFT: position.x = back(position.x); break;
    case C::zoom_RIGHT: position.x = on(position.x); break;
    default: break;
  }
  return position;
}

template <typename CommandType>
void CameraController::postWith(VokInt32 parameter) {
  _processor->post(std::make_shared<CommandType>(_model, parameter));
}

void CameraController::postPair(std::shared_ptr<Command> first, std::shared_ptr<Command> second) {
  // The second is queued only once the first has finished, so a busy retry of the first
  // cannot let the second overtake it.
  first->setFollowUp(std::move(second));
  _processor->post(std::move(first));
}

void CameraController::performRemoteAction(const ActionEvent& event) {
  using C = ActionEvent::Command;
  const auto post = [this](std::shared_ptr<Command> command) { _processor->post(std::move(command)); };
  // A row that writes the action's value; without a usable number it queues nothing.
  const auto value = [&] { return actionPropertyId(event); };
  const auto write = [&](VokPropertyID id) {
    if (const auto v = value()) post(std::make_shared<SetPropertyCommandWithData>(_model, id, *v));
  };

  switch (event.command()) {
    case C::download: {
      const auto& item = event.vokRef();
      if (!item || !item->ref()) break;
      // The command owns the item from here: if it is never run, dropping it releases the item.
      post(std::make_shared<DownloadCommand>(_model, item->ref(), &DownloadCommand::downloadProgressCallback,
                                             downloadFolders().transfer));
      break;
    }
    case C::take_PICTURE: post(std::make_shared<TakePictureCommand>(_model)); break;
    case C::press_COMPLETELY: postWith<PressShutterCommand>(kVokShutterButton_Completely); break;
    case C::press_HALFWAY: postWith<PressShutterCommand>(kVokShutterButton_Halfway); break;
    case C::press_OFF: postWith<PressShutterCommand>(kVokShutterButton_Off); break;

    case C::start_EVF:
      _model->isEvfEnable.store(true);
      post(std::make_shared<StartEvfCommand>(_model));
      break;
    case C::end_EVF:
      _model->isEvfEnable.store(false);
      post(std::make_shared<EndEvfCommand>(_model));
      break;
    case C::download_EVF: post(std::make_shared<DownloadEvfCommand>(_model)); break;

    case C::set_AE_MODE: write(0x436); break;
    case C::set_DRIVE_MODE: write(0x401); break;
    case C::set_WHITE_BALANCE: write(0x106); break;
    case C::set_METERING_MODE: write(0x403); break;
    case C::set_EXPOSURE_COMPENSATION: write(0x407); break;
    case C::set_IMAGEQUALITY: write(0x100); break;
    case C::set_AV: write(0x405); break;
    case C::set_TV: write(0x406); break;
    case C::set_ISO_SPEED: write(0x402); break;
    case C::set_EVF_AFMODE:
      // The autofocus stops before the mode is written; nothing at all without a mode.
      if (const auto v = value()) {
        postPair(std::make_shared<DoEvfAFCommand>(_model, 0),
                 std::make_shared<SetPropertyCommandWithData>(_model, kEvfAFMode, *v));
      }
      break;
    case C::set_ZOOM: write(0x600); break;
    case C::set_AF_MODE: write(0x404); break;
    case C::set_STROBO: write(0x601); break;
    case C::set_MOVIEQUALITY: write(0x01000423); break;
    case C::set_MOVIE_HFR: write(0x0100045D); break;
    case C::set_PICTURESTYLE: write(0x114); break;
    case C::set_ASPECT: write(0x01000431); break;

    case C::evf_AF_ON: postWith<DoEvfAFCommand>(1); break;
    case C::evf_AF_OFF: postWith<DoEvfAFCommand>(0); break;
    case C::focus_NEAR1: postWith<DriveLensEvfCommand>(1); break;
    case C::focus_NEAR2: postWith<DriveLensEvfCommand>(2); break;
    case C::focus_NEAR3: postWith<DriveLensEvfCommand>(3); break;
    case C::focus_FAR1: postWith<DriveLensEvfCommand>(0x8001); break;
    case C::focus_FAR2: postWith<DriveLensEvfCommand>(0x8002); break;
    case C::focus_FAR3: postWith<DriveLensEvfCommand>(0x8003); break;

    case C::zoom_FIT: post(std::make_shared<SetPropertyCommandWithData>(_model, kEvfZoom, VokEvfZoom{1})); break;
    case C::zoom_ZOOM: post(std::make_shared<SetPropertyCommandWithData>(_model, kEvfZoom, VokEvfZoom{5})); break;
    case C::zoom_UP:
    case C::zoom_LEFT:
    case C::zoom_RIGHT:
    case C::zoom_DOWN:
      // From the position the last frame left; the store is not moved here.
      post(std::make_shared<SetPropertyCommandWithData>(
          _model, kEvfZoomPosition, movedZoomPosition(_model->evfZoomPosition(), event.command())));
      break;

    case C::download_ALLFILES:
      post(std::make_shared<DownloadAllFilesCommand>(_model, downloadFolders().pictures));
      break;
    case C::delete_ALLFILES: post(std::make_shared<DeleteAllFilesCommand>(_model)); break;
    case C::format_VOLUME: post(std::make_shared<FormatVolumeCommand>(_model)); break;

    case C::remoteshooting_START: postWith<SetRemoteShootingCommand>(1); break;
    case C::remoteshooting_END: postWith<SetRemoteShootingCommand>(0); break;
    case C::rool_PITCH:
      if (_model->isEvfEnable.load()) {
        const VokUInt32 current = _model->getPropertyUInt32(live_view::kRollPitch);
        _model->setPropertyUInt32(live_view::kRollPitch, current == 0 ? 1 : 0);
      }
      postWith<SetRollPitchCommand>(SetRollPitchCommand::kCommand);
      break;
    case C::press_STILL: postWith<SwitchStillMovieCommand>(SwitchStillMovieCommand::kStill); break;
    case C::press_MOVIE: postWith<SwitchStillMovieCommand>(SwitchStillMovieCommand::kMovie); break;
    case C::rec_START: postWith<SetRecCommand>(4); break;
    case C::rec_END:
      // Recording stops before the camera leaves movie mode.
      postPair(std::make_shared<SetRecCommand>(_model, 0),
               std::make_shared<SwitchStillMovieCommand>(_model, SwitchStillMovieCommand::kStill));
      break;

    case C::click_WB:
      postWith<ClickWBCommand>(ClickCommand::kCursor);
      clickType.store(1);
      break;
    case C::click_MOUSE_WB: postWith<ClickWBCommand>(ClickCommand::kAtPoint); break;
    case C::click_AF:
      clickType.store(2);
      postWith<ClickAFCommand>(ClickCommand::kCursor);
      break;
    case C::click_MOUSE_AF: postWith<ClickAFCommand>(ClickCommand::kAtPoint); break;
    case C::mirrorup_ON: postWith<SwitchMirrorUpCommand>(1); break;
    case C::mirrorup_OFF: postWith<SwitchMirrorUpCommand>(0); break;

    default:
      // set_CAMERASETTING, the flash, mute, assist-beam, red-eye and LED settings and the
      // aspect ratio: nothing to do.
      break;
  }
}
