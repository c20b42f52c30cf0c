#pragma once

#include <QPointer>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>

#include "app/CheckDeviceViewController.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/WindowController.h"
#include "vok/VokSdk.h"

class CameraController;


namespace platform {
class SerialQueue;
}

// The hub of the program: owns the window, starts and stops the camera SDK, switches screens
// on view events, finds the camera and reads its device information.
//
// Threads: the camera search runs on its own serial queue (one search at a time; a new start
// ends the old one), the device-information read on another. Both wait through the clock seam
// with cancellations that shutdown fires. `cameraMutex_` guards the camera reference, the
// controller and the two texts, which the main thread and both queues share.
class MainWindowController final : public platform::WindowController {
  Q_OBJECT

 public:
  explicit MainWindowController(platform::Storyboard* storyboard, QObject* parent = nullptr);
  ~MainWindowController() override;

  // Read-outs for tests.
  [[nodiscard]] bool isSDKLoaded() const { return _isSDKLoaded; }
  [[nodiscard]] VokCameraRef camera() const;
  [[nodiscard]] std::shared_ptr<CameraController> controller() const;
  [[nodiscard]] std::optional<QString> productName() const;
  [[nodiscard]] std::optional<QString> firmwareVersion() const;
  [[nodiscard]] CheckDeviceViewController* checkDeviceViewControllerDelegate() const {
    return checkDeviceViewControllerDelegate_;
  }

  // The product name as the device-information read keeps it: the maker's name and a blank
  // are removed only where the name begins with them.
  [[nodiscard]] static QString removeMakerPrefix(const QString& name);
  // A 256-byte text buffer as the camera fills it: ASCII up to the first zero byte, never past
  // the buffer; non-ASCII bytes give an empty text.
  [[nodiscard]] static QString decodeAsciiBuffer(const char* bytes, std::size_t size);

 protected:
  void windowDidLoad() override;
  void windowWillClose() override;

 private:
  void releaseAndQuit();
  void initializeSDK();
  void update(const platform::Notification& notification);
  void observerViewEvent(const platform::Notification& notification);

  // Camera search and device information.
  void startPolling();
  void restartPolling();
  void searchLoop(const platform::CancellationPtr& cancel, double firstDelay);
  [[nodiscard]] bool pollForCamera();  // one pass; true when a camera was accepted
  VokError registerEventHandlers();
  void getDeviceInfo();
  void deviceInfoWorker(const platform::CancellationPtr& cancel);
  // Ends the work that `slot` names and gives a fresh cancellation for its successor.
  platform::CancellationPtr renewCancellation(platform::CancellationPtr& slot);
  // Stops the camera layer of the accepted camera and releases the camera reference.
  void releaseCameraLocked();
  void stopCameraWork();

  // Confined to the main thread.
  bool _isSDKLoaded = false;
  bool _isTerminated = false;
  QPointer<CheckDeviceViewController> checkDeviceViewControllerDelegate_;

  // Shared; guarded by cameraMutex_.
  mutable std::mutex cameraMutex_;
  VokCameraRef _camera = nullptr;
  tagVokDeviceInfo _deviceInfo{};
  std::shared_ptr<CameraController> _controller;
  std::optional<QString> _productName;
  std::optional<QString> _firmwareVersion;
  // The device information of the camera the two texts were read from.
  std::optional<tagVokDeviceInfo> textsDeviceInfo_;

  // Confined to the search queue.
  bool _isReLoaded = false;
  long long skipCount = 0;

  std::unique_ptr<platform::SerialQueue> searchQueue_;
  std::unique_ptr<platform::SerialQueue> readQueue_;
  std::mutex workMutex_;
  platform::CancellationPtr searchCancel_;  // the running search's
  platform::CancellationPtr readCancel_;    // the running read's, and its hand-over's
};
