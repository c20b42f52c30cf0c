#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "vok/VokSdk.h"

class ActionEvent;
class CameraModel;
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

  // 1 after a white-balance click, 2 after an autofocus click.
  std::atomic<int> clickType{0};

 private:
  void observeAction(const platform::Notification& notification);

  const std::unique_ptr<CommandProcessor> _processor;
  const std::shared_ptr<CameraModel> _model;

  std::mutex _handlersMutex;
  VokCameraRef _handlerCamera = nullptr;
  bool _objectHandler = false;
  bool _propertyHandler = false;
  bool _stateHandler = false;
};

// The property id an action carries: a number from 0 to 0xFFFFFFFF; anything else is none.
[[nodiscard]] std::optional<VokPropertyID> actionPropertyId(const ActionEvent& event);
