#include "app/MainWindowController.h"

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QWidget>

#include <cstring>

#include "app/CheckDeviceViewController.h"
#include "app/CheckSupportDeviceViewController.h"
#include "app/DarkLook.h"
#include "app/ProductScreen.h"
#include "app/Timings.h"
#include "camera/CameraController.h"
#include "camera/CameraEvent.h"
#include "camera/CameraEventListener.h"
#include "camera/CameraModel.h"
#include "camera/ViewEvent.h"
#include "platform/Alert.h"
#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/Queues.h"
#include "platform/Storyboard.h"
#include "platform/ViewController.h"

namespace {

using Type = ViewEvent::ViewEventType;

const QString kMakerPrefix = QStringLiteral("Orvell ");
constexpr VokPropertyID kFirmwareVersionProperty = 0x7;
constexpr std::size_t kTextBufferSize = 256;

// Makes the screen `identifier`, checks its class, lets `configure` set its inputs and shows
// it. Any failing step leaves the current screen in place.
// The class check is by name (the screens' meta-objects), so that the shell needs no header of
// the layers above it; `Screen` is the part of the class that `configure` fills.
template <typename Screen, typename Configure>
bool showScene(platform::WindowController& window, const QString& identifier, Configure configure) {
  platform::Storyboard* storyboard = window.storyboard();
  if (!storyboard) return false;
  std::unique_ptr<platform::ViewController> controller = storyboard->instantiateController(identifier);
  auto* screen = dynamic_cast<Screen*>(controller.get());
  if (!screen || !controller->inherits(identifier.toLatin1().constData())) return false;
  configure(*screen);
  window.setContentViewController(std::move(controller));
  return true;
}

// Whether two device-information records name the same camera: port, description and sub-type.
bool sameDevice(const tagVokDeviceInfo& a, const tagVokDeviceInfo& b) {
  const auto sameText = [](const std::int8_t* x, const std::int8_t* y, std::size_t size) {
    return std::strncmp(reinterpret_cast<const char*>(x), reinterpret_cast<const char*>(y), size) == 0;
  };
  return sameText(a.szPortName, b.szPortName, sizeof a.szPortName) &&
         sameText(a.szDeviceDescription, b.szDeviceDescription, sizeof a.szDeviceDescription) &&
         a.deviceSubType == b.deviceSubType;
}

}  // namespace

MainWindowController::MainWindowController(platform::Storyboard* storyboard, QObject* parent)
    : platform::WindowController(storyboard, parent),
      searchQueue_(std::make_unique<platform::SerialQueue>(QStringLiteral("cameraSearchQueue"))),
      readQueue_(std::make_unique<platform::SerialQueue>(QStringLiteral("deviceInfoQueue"))) {}

MainWindowController::~MainWindowController() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  stopCameraWork();
}

VokCameraRef MainWindowController::camera() const {
  std::lock_guard lock(cameraMutex_);
  return _camera;
}

std::shared_ptr<CameraController> MainWindowController::controller() const {
  std::lock_guard lock(cameraMutex_);
  return _controller;
}

std::optional<QString> MainWindowController::productName() const {
  std::lock_guard lock(cameraMutex_);
  return _productName;
}

std::optional<QString> MainWindowController::firmwareVersion() const {
  std::lock_guard lock(cameraMutex_);
  return _firmwareVersion;
}

QString MainWindowController::removeMakerPrefix(const QString& name) {
  if (!name.startsWith(kMakerPrefix)) return name;
  QString result = name;
  return result.remove(kMakerPrefix);
}

QString MainWindowController::decodeAsciiBuffer(const char* bytes, std::size_t size) {
  const void* zero = std::memchr(bytes, 0, size);
  const std::size_t length = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - bytes) : size;
  for (std::size_t i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(bytes[i]) > 0x7F) return {};
  }
  return QString::fromLatin1(bytes, static_cast<qsizetype>(length));
}

// ---- window ---------------------------------------------------------------------------

void MainWindowController::windowDidLoad() {
  // The dark appearance, whatever the desktop's: for the window and the alerts it shows.
  QWidget* win = window();
  darkLook::applyToApplication();
  win->setPalette(QApplication::palette());
  win->setAutoFillBackground(true);

  // Any bundle name is the title, the empty one too; only a missing one falls back.
  win->setWindowTitle(
      platform::Bundle::main().infoValue(QStringLiteral("CFBundleName")).value_or(QStringLiteral("Ravlio")));

  auto& center = platform::NotificationCenter::defaultCenter();
  center.addObserver(this, QString::fromLatin1(kViewEvent),
                     [this](const platform::Notification& n) { observerViewEvent(n); });
  center.addObserver(this, QString::fromLatin1(kMyViewUpdate),
                     [this](const platform::Notification& n) { update(n); });
  initializeSDK();
}

void MainWindowController::initializeSDK() {
  if (_isSDKLoaded) return;
  if (VokInitializeSDK() == VOK_ERR_OK) {
    _isSDKLoaded = true;
    return;
  }
  platform::AlertSpec alert;
  alert.buttons = {platform::localizedString(QStringLiteral("confirm"))};
  alert.informativeText = platform::localizedString(QStringLiteral("program_initialization_failed"));
  platform::runAlert(alert, isWindowLoaded() ? window() : nullptr);
  close();
}

void MainWindowController::windowWillClose() { releaseAndQuit(); }

void MainWindowController::releaseAndQuit() {
  if (_isTerminated) return;
  _isTerminated = true;
  // Background work first, so that nothing calls the SDK once it is terminated.
  stopCameraWork();
  std::shared_ptr<CameraController> controller;
  {
    std::lock_guard lock(cameraMutex_);
    releaseCameraLocked();
    controller = std::move(_controller);
  }
  controller.reset();
  if (_isSDKLoaded) VokTerminateSDK();
  checkDeviceViewControllerDelegate_ = nullptr;
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  platform::Application::terminate(0);
}

// ---- notifications --------------------------------------------------------------------

void MainWindowController::update(const platform::Notification& notification) {
  auto event = std::dynamic_pointer_cast<const CameraEvent>(notification.object);
  if (event && event->type() == CameraEvent::CameraEventType::terminate_APP) close();
}

void MainWindowController::observerViewEvent(const platform::Notification& notification) {
  auto event = std::dynamic_pointer_cast<const ViewEvent>(notification.object);
  if (!event) return;
  switch (event->type()) {
    case Type::MAIN_WINDOW_SHOW_CHECK_DEVICE: {
      {
        std::lock_guard lock(cameraMutex_);
        releaseCameraLocked();
      }
      showScene<CheckDeviceViewController>(*this, QStringLiteral("CheckDeviceViewController"),
                                           [this](CheckDeviceViewController& screen) {
                                             checkDeviceViewControllerDelegate_ = &screen;
                                           });
      break;
    }
    case Type::MAIN_WINDOW_SHOW_CHECK_SUPPORT_DEVICE_VIEW:
      showScene<CheckSupportDeviceViewController>(*this, QStringLiteral("CheckSupportDeviceViewController"),
                                                  [this](CheckSupportDeviceViewController& screen) {
                                                    screen.productName = productName();
                                                    screen.firmwareVersion = firmwareVersion();
                                                  });
      break;
    case Type::MAIN_WINDOW_SHOW_FRIMWARE_DOWNLOAD_VIEW:
      showScene<ProductScreen>(*this, QStringLiteral("FirmwareSelectViewController"), [this](ProductScreen& screen) {
        screen.productName = productName();
        screen.firmwareVersion = firmwareVersion();
      });
      break;
    case Type::CHECK_DEVICE_CONNECT:
      startPolling();
      break;
    case Type::GET_DEVICE_INFO:
      getDeviceInfo();
      break;
    case Type::DEVICE_DISCONNECTED:
      if (dynamic_cast<CheckDeviceViewController*>(contentViewController())) restartPolling();
      break;
    default:
      break;
  }
}

// ---- camera search --------------------------------------------------------------------

platform::CancellationPtr MainWindowController::renewCancellation(platform::CancellationPtr& slot) {
  std::lock_guard lock(workMutex_);
  if (slot) slot->cancel();
  slot = std::make_shared<platform::Cancellation>();
  return slot;
}

void MainWindowController::startPolling() { searchLoop(renewCancellation(searchCancel_), 0.0); }

void MainWindowController::restartPolling() {
  searchLoop(renewCancellation(searchCancel_), timings::kRestartDelay);
}

// Queues a search that runs until it accepts a camera, a newer search starts, or shutdown.
// The queue is serial and a newer search cancels the older one's wait, so only one runs.
void MainWindowController::searchLoop(const platform::CancellationPtr& cancel, double firstDelay) {
  searchQueue_->async([this, cancel, firstDelay] {
    if (cancel->isCancelled()) return;
    if (firstDelay > 0) {
      std::lock_guard lock(cameraMutex_);
      releaseCameraLocked();
    }
    _isReLoaded = true;
    skipCount = 0;
    if (firstDelay > 0 && !platform::sleepFor(firstDelay, cancel.get())) return;
    while (!cancel->isCancelled()) {
      if (pollForCamera()) return;
      if (!platform::sleepFor(timings::kSearchInterval, cancel.get())) return;
    }
  });
}

bool MainWindowController::pollForCamera() {
  std::lock_guard lock(cameraMutex_);
  if (_camera) releaseCameraLocked();

  VokCameraListRef list = nullptr;
  VokError status = VokGetCameraList(&list);
  if (status == VOK_ERR_OK) {
    VokUInt32 count = 0;
    status = VokGetChildCount(list, &count);
    if (count == 0) {
      status = VOK_ERR_NO_CAMERA;
    } else if (status == VOK_ERR_OK) {
      status = VokGetChildAtIndex(list, 0, &_camera);
      if (status != VOK_ERR_OK) _camera = nullptr;
      if (status == VOK_ERR_OK) status = VokGetDeviceInfo(_camera, &_deviceInfo);
      if (status == VOK_ERR_OK && !_camera) status = VOK_ERR_NO_CAMERA;
    }
  }
  if (list) VokRelease(list);

  bool discarded = false;
  if (_isReLoaded) {
    ++skipCount;
    if (skipCount < timings::kRestartThreshold) {
      discarded = true;
    } else {
      _isReLoaded = false;
      skipCount = 0;
    }
  }

  if (status == VOK_ERR_OK && !discarded) {
    // The texts of an earlier read stay only with the camera they came from: another camera
    // starts without any, so that the screens never show or offer firmware for the last one.
    if (!textsDeviceInfo_ || !sameDevice(*textsDeviceInfo_, _deviceInfo)) {
      _productName.reset();
      _firmwareVersion.reset();
      textsDeviceInfo_.reset();
    }
    auto model = std::make_shared<CameraModel>(_camera);
    _controller = std::make_shared<CameraController>(model);
    (void)registerEventHandlers();
    _controller->connect();
    ViewEvent::post(Type::DEVICE_CONNECTED);
    return true;
  }
  if (_camera) {
    VokRelease(_camera);
    _camera = nullptr;
  }
  return false;
}

VokError MainWindowController::registerEventHandlers() {
  return _controller->registerHandlers(_camera);
}

void MainWindowController::releaseCameraLocked() {
  // The camera layer stops before its reference goes: no command or handler may use it after.
  if (_controller) _controller->stop();
  if (_camera) {
    VokRelease(_camera);
    _camera = nullptr;
  }
}

void MainWindowController::stopCameraWork() {
  {
    std::lock_guard lock(workMutex_);
    if (searchCancel_) searchCancel_->cancel();
    if (readCancel_) readCancel_->cancel();
  }
  if (searchQueue_) searchQueue_->stop();
  if (readQueue_) readQueue_->stop();
}

// ---- device information ---------------------------------------------------------------

void MainWindowController::getDeviceInfo() {
  platform::CancellationPtr cancel = renewCancellation(readCancel_);
  readQueue_->async([this, cancel] { deviceInfoWorker(cancel); });
}

void MainWindowController::deviceInfoWorker(const platform::CancellationPtr& cancel) {
  enum class Outcome { retry, skipToSupportCheck, handOver };
  Outcome outcome = Outcome::retry;
  {
    std::lock_guard lock(cameraMutex_);
    if (cancel->isCancelled()) return;
    // The read follows the accepted camera. While none is held (it went away and the search
    // runs again) nothing is read, and the read tries again later, so that it goes on with
    // the camera accepted next and never touches a released reference.
    VokCameraRef camera = _controller ? _controller->model()->camera() : nullptr;
    const bool held = camera && camera == _camera;
    VokUInt32 count = 0;
    const VokError probe = held ? VokGetChildCount(camera, &count) : VOK_ERR_NO_CAMERA;
    if (probe == VOK_ERR_COMM_DEVICE_INCOMPATIBLE) {
      outcome = Outcome::skipToSupportCheck;
    } else if (probe == VOK_ERR_OK) {
      char name[kTextBufferSize] = {};
      char version[kTextBufferSize] = {};
      (void)VokGetPropertyData(camera, CameraModel::kProductName, 0, kTextBufferSize, name);
      (void)VokGetPropertyData(camera, kFirmwareVersionProperty, 0, kTextBufferSize, version);
      const QString productName = decodeAsciiBuffer(name, sizeof name);
      const QString firmwareVersion = decodeAsciiBuffer(version, sizeof version);
      if (!productName.isEmpty() && !firmwareVersion.isEmpty()) {
        _productName = removeMakerPrefix(productName);
        _firmwareVersion = firmwareVersion;
        textsDeviceInfo_ = _deviceInfo;  // the accepted camera's, as `held` says
        outcome = Outcome::handOver;
      }
    }
  }

  QPointer<MainWindowController> self(this);
  switch (outcome) {
    case Outcome::skipToSupportCheck:
      ViewEvent::post(Type::MAIN_WINDOW_SHOW_CHECK_SUPPORT_DEVICE_VIEW);
      return;
    case Outcome::retry:
      if (!platform::sleepFor(timings::kReadRetryInterval, cancel.get())) return;
      platform::MainQueue::async([self, cancel] {
        if (self && !cancel->isCancelled()) self->getDeviceInfo();
      });
      return;
    case Outcome::handOver:
      platform::mainAsyncAfter(
          platform::Duration(timings::kHandOverDelay),
          [self] {
            if (self) ViewEvent::post(Type::MAIN_WINDOW_SHOW_CHECK_SUPPORT_DEVICE_VIEW);
          },
          cancel);
      return;
  }
}
