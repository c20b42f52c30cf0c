#include "camera/GetPropertyDescCommand.h"

#include "camera/CameraModel.h"

GetPropertyDescCommand::GetPropertyDescCommand(std::shared_ptr<CameraModel> model, VokPropertyID propertyID)
    : Command(std::move(model)), _propertyID(propertyID) {}

bool GetPropertyDescCommand::execute() {
  return _model->_viewNotification.reportResult(getPropertyDesc(_propertyID));
}

VokError GetPropertyDescCommand::getPropertyDesc(VokPropertyID propertyID) {
  if (propertyID == kAllProperties) {
    VokError status = VOK_ERR_OK;
    for (const VokPropertyID id : kAllPropertyIds) {
      status = getPropertyDesc(id);
      if (status != VOK_ERR_OK) return status;
    }
    return status;
  }
  tagVokPropertyDesc desc{};
  const VokError status = VokGetPropertyDesc(_model->_camera, propertyID, &desc);
  if (status != VOK_ERR_OK) return status;
  _model->setPropertyDesc(propertyID, desc);
  return VOK_ERR_OK;
}
