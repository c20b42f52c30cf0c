#include "camera/CameraEventListener.h"

#include <QVariant>

#include <memory>

#include "camera/ActionEvent.h"
#include "camera/CameraController.h"

namespace {

CameraController* controllerOf(void* context) { return static_cast<CameraController*>(context); }

}  // namespace

VokError CameraEventListener::objectEventHandler(VokObjectEvent event, VokBaseRef ref, void* context) {
  CameraController* controller = controllerOf(context);
  if (event == kVokObjectEvent_DirItemRequestTransfer && controller && ref) {
    controller->actionPerformed(
        ActionEvent(ActionEvent::Command::download, std::make_shared<const ActionVokRef>(ref)));
    return VOK_ERR_OK;
  }
  if (ref) (void)VokRelease(ref);
  return VOK_ERR_OK;
}

VokError CameraEventListener::propertyEventHandler(VokPropertyEvent event, VokPropertyID propertyID, VokUInt32,
                                                   void* context) {
  CameraController* controller = controllerOf(context);
  if (!controller) return VOK_ERR_OK;
  // The id stays unsigned all the way: ids of 0x80000000 and more are valid too.
  const QVariant id = QVariant::fromValue<quint32>(propertyID);
  if (event == kVokPropertyEvent_PropertyChanged) {
    controller->actionPerformed(ActionEvent(ActionEvent::Command::get_PROPERTY, id));
  } else if (event == kVokPropertyEvent_PropertyDescChanged) {
    controller->actionPerformed(ActionEvent(ActionEvent::Command::get_PROPERTYDESC, id));
  }
  return VOK_ERR_OK;
}

VokError CameraEventListener::stateEventHandler(VokStateEvent event, VokUInt32, void* context) {
  CameraController* controller = controllerOf(context);
  if (controller && event == kVokStateEvent_Shutdown) {
    controller->actionPerformed(ActionEvent(ActionEvent::Command::shut_DOWN, QVariant::fromValue<quint32>(0)));
  }
  return VOK_ERR_OK;
}
