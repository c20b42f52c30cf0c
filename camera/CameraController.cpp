#include "camera/CameraController.h"

#include <QMetaType>
#include <QString>
#include <QVariant>

#include "camera/ActionEvent.h"
#include "camera/CameraEventListener.h"
#include "camera/CameraModel.h"
#include "camera/CommandProcessor.h"
#include "camera/GetPropertyCommand.h"
#include "camera/GetPropertyDescCommand.h"
#include "camera/OpenSessionCommand.h"
#include "camera/ViewEvent.h"
#include "platform/NotificationCenter.h"

CameraController::CameraController(std::shared_ptr<CameraModel> model)
    : CameraController(std::move(model), std::make_unique<CommandProcessor>()) {}

CameraController::CameraController(std::shared_ptr<CameraModel> model, std::unique_ptr<CommandProcessor> processor)
    : _processor(std::move(processor)), _model(std::move(model)), _folders(DownloadFolders::standard()) {
  platform::NotificationCenter::defaultCenter().addObserver(
      this, QString::fromLatin1(kActionPerformedMessage),
      [this](const platform::Notification& notification) { observeAction(notification); });
}

CameraController::~CameraController() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  stop();
}

void CameraController::observeAction(const platform::Notification& notification) {
  if (auto event = std::dynamic_pointer_cast<const ActionEvent>(notification.object)) actionPerformed(*event);
}

void CameraController::connect() {
  _processor->post(std::make_shared<OpenSessionCommand>(
      _model, std::make_shared<GetPropertyCommand>(_model, CameraModel::kProductName)));
}

std::optional<VokUInt32> actionPropertyId(const ActionEvent& event) {
  const QVariant& object = event.object();
  switch (object.metaType().id()) {
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
      const qulonglong value = object.toULongLong();
      if (value <= 0xFFFFFFFFull) return static_cast<VokPropertyID>(value);
      return std::nullopt;
    }
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong: {
      const qlonglong value = object.toLongLong();
      if (value >= 0 && value <= 0xFFFFFFFFll) return static_cast<VokPropertyID>(value);
      return std::nullopt;
    }
    default:
      return std::nullopt;  // a text, a reference wrapper or nothing: not an id
  }
}

void CameraController::actionPerformed(const ActionEvent& event) {
  using C = ActionEvent::Command;
  switch (event.command()) {
    case C::none:
      break;

    case C::get_PROPERTY:
      if (const auto id = actionPropertyId(event)) _processor->post(std::make_shared<GetPropertyCommand>(_model, *id));
      break;

    case C::get_PROPERTYDESC:
      if (const auto id = actionPropertyId(event)) {
        _processor->post(std::make_shared<GetPropertyDescCommand>(_model, *id));
      }
      break;

    case C::shut_DOWN:
      ViewEvent::post(ViewEvent::ViewEventType::DEVICE_DISCONNECTED);
      // The camera is gone: pending commands and retries must not reach it.
      _processor->stop();
      break;

    default:
      performRemoteAction(event);
      break;
  }
}

void CameraController::setDownloadFolders(DownloadFolders folders) {
  std::lock_guard lock(_foldersMutex);
  _folders = std::move(folders);
}

DownloadFolders CameraController::downloadFolders() const {
  std::lock_guard lock(_foldersMutex);
  return _folders;
}

VokError CameraController::registerHandlers(VokCameraRef camera) {
  unregisterHandlers();
  std::lock_guard lock(_handlersMutex);
  _handlerCamera = camera;
  VokError status = VokSetObjectEventHandler(camera, kVokObjectEvent_All, &CameraEventListener::objectEventHandler, this);
  if (status != VOK_ERR_OK) return status;
  _objectHandler = true;
  status = VokSetPropertyEventHandler(camera, kVokPropertyEvent_All, &CameraEventListener::propertyEventHandler, this);
  if (status != VOK_ERR_OK) return status;
  _propertyHandler = true;
  status = VokSetCameraStateEventHandler(camera, kVokStateEvent_All, &CameraEventListener::stateEventHandler, this);
  if (status != VOK_ERR_OK) return status;
  _stateHandler = true;
  return VOK_ERR_OK;
}

void CameraController::unregisterHandlers() {
  std::lock_guard lock(_handlersMutex);
  if (_objectHandler) (void)VokSetObjectEventHandler(_handlerCamera, kVokObjectEvent_All, nullptr, nullptr);
  if (_propertyHandler) (void)VokSetPropertyEventHandler(_handlerCamera, kVokPropertyEvent_All, nullptr, nullptr);
  if (_stateHandler) (void)VokSetCameraStateEventHandler(_handlerCamera, kVokStateEvent_All, nullptr, nullptr);
  _objectHandler = _propertyHandler = _stateHandler = false;
  _handlerCamera = nullptr;
}

void CameraController::stop() {
  // The running command finishes first; then the handlers go, the last SDK calls made here.
  _processor->stop();
  unregisterHandlers();
}
