#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "camera/ActionEvent.h"
#include "camera/CardFiles.h"
#include "vok/VokSdk.h"

class CameraModel;
class Command;
class CommandProcessor;

namespace platform {
struct Notification;
}

// Something that carries out actions for the camera.
class ActionListener {
 public:
  virtual ~ActionListener() = default;
  virtual void actionPerformed(const ActionEvent& event) = 0;
};

// Runs one connected camera: owns its command queue, opens the session and reads the product
// name on connect(), and turns actions into commands. Actions come from the SDK's handlers
// (CameraEventListener, with this controller as their context) and from the notification
// "ACTION_PERFORMED_MESSAGE".
//
// Lifetime contract for the owner:
// - stop() (or destroy the controller) while the camera reference is still held and before
//   VokTerminateSDK: it ends the command queue and removes the SDK handlers, the last SDK calls
//   the controller makes. After that it never calls the SDK again, and its destructor does not
//   either. Destroying it without a stop() does the same, so it must then also happen before.
// - Never call stop(), unregisterHandlers() or the destructor from inside one of the SDK
//   handlers: removing a handler waits for the running one.
class CameraController : public ActionListener {
 public:
  // Starts observing "ACTION_PERFORMED_MESSAGE" in the default notification centre.
  explicit CameraController(std::shared_ptr<CameraModel> model);
  // The same, with the command processor to post to (tests watch what is posted).
  CameraController(std::shared_ptr<CameraModel> model, std::unique_ptr<CommandProcessor> processor);
  // Removes the observer, then stops (see stop()).
  ~CameraController() override;
  CameraController(const CameraController&) = delete;
  CameraController& operator=(const CameraController&) = delete;

  [[nodiscard]] const std::shared_ptr<CameraModel>& model() const { return _model; }

  // Queues the session opening; the product-name read follows once the opening has finished.
  void connect();
  // The action dispatcher. Runs on the caller's thread; each command it queues pauses that
  // thread briefly.
  void actionPerformed(const ActionEvent& event) override;

  // Installs the three SDK event handlers for `camera` with this controller as their context;
  // stops at the first failing one and returns its status.
  [[nodiscard]] VokError registerHandlers(VokCameraRef camera);
  // Removes the handlers registerHandlers() installed; once it returns none of them runs.
  void unregisterHandlers();
  // Ends the command queue (waiting for a running command), then removes the handlers. Nothing
  // queued runs afterwards and the controller makes no SDK call after it returns.
  void stop();

  // The folders the file actions download into; the user's XDG folders unless set.
  void setDownloadFolders(DownloadFolders folders);
  [[nodiscard]] DownloadFolders downloadFolders() const;

  // 1 after a white-balance click, 2 after an autofocus click.
  std::atomic<int> clickType{0};

 private:
  void observeAction(const platform::Notification& notification);
  // The rows for remote control: shooting, live view, settings and card files.
  void performRemoteAction(const ActionEvent& event);
  // Posts a command with one parameter.
  template <typename CommandType>
  void postWith(VokInt32 parameter);
  // Posts `first`, with `second` to follow it once it has finished.
  void postPair(std::shared_ptr<Command> first, std::shared_ptr<Command> second);

  const std::unique_ptr<CommandProcessor> _processor;
  const std::shared_ptr<CameraModel> _model;

  std::mutex _handlersMutex;
  VokCameraRef _handlerCamera = nullptr;
  bool _objectHandler = false;
  bool _propertyHandler = false;
  bool _stateHandler = false;

  mutable std::mutex _foldersMutex;
  DownloadFolders _folders;
};

// The number an action carries, a property id or a value to write: a number from 0 to
// 0xFFFFFFFF; anything else is none.
[[nodiscard]] std::optional<VokUInt32> actionPropertyId(const ActionEvent& event);

// The live-view zoom position after one of the moves zoom_UP, zoom_DOWN, zoom_LEFT and
// zoom_RIGHT: 128 a step, never below 0 and never past the largest Int32. Other commands leave
// it as it is.
[[nodiscard]] tagVokPoint movedZoomPosition(tagVokPoint position, ActionEvent::Command move);
