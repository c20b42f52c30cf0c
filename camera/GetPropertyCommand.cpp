#include "camera/GetPropertyCommand.h"

#include <QVariant>

#include <cstring>
#include <memory>
#include <vector>

#include "camera/CameraModel.h"

GetPropertyCommand::GetPropertyCommand(std::shared_ptr<CameraModel> model, VokPropertyID propertyID)
    : Command(std::move(model)), _propertyID(propertyID) {}

bool GetPropertyCommand::execute() { return _model->_viewNotification.reportResult(getProperty(_propertyID)); }

VokError GetPropertyCommand::getProperty(VokPropertyID propertyID) {
  if (propertyID == kAllProperties) {
    VokError status = VOK_ERR_OK;
    for (const VokPropertyID id : kAllPropertyIds) {
      status = getProperty(id);
      if (status != VOK_ERR_OK) return status;
    }
    return status;
  }

  VokDataType dataType = 0;
  VokUInt32 size = 0;
  const VokError sizeStatus = VokGetPropertySize(_model->_camera, propertyID, 0, &dataType, &size);
  if (sizeStatus != VOK_ERR_OK) return sizeStatus;

  // Each test looks at the data type again: the live-view output device of data type 8 is
  // read by both of the first two.
  VokError result = VOK_ERR_OK;
  if (dataType == kVokDataType_UInt32 || propertyID == CameraModel::kEvfOutputDevice) result = readUInt32(propertyID);
  if (dataType == kVokDataType_Int32) result = readUInt32(propertyID);
  if (dataType == kVokDataType_String) {
    std::vector<std::int8_t> text(CameraModel::kNameSize, 0);
    result = VokGetPropertyData(_model->_camera, propertyID, 0, static_cast<VokUInt32>(text.size()), text.data());
    if (result == VOK_ERR_OK) _model->setPropertyString(propertyID, text);
  }
  if (dataType == kVokDataType_FocusInfo) result = readFocusInfo(propertyID);
  if (dataType == kVokDataType_Time) {
    tagVokTime time{};  // read for its status only
    result = VokGetPropertyData(_model->_camera, propertyID, 0, sizeof time, &time);
  }
  if (dataType == kVokDataType_ByteBlock) result = readByteBlock(propertyID, size);
  return result;
}

VokError GetPropertyCommand::readUInt32(VokPropertyID propertyID) {
  VokUInt32 value = 0;
  const VokError status = VokGetPropertyData(_model->_camera, propertyID, 0, sizeof value, &value);
  if (status == VOK_ERR_OK) _model->setPropertyUInt32(propertyID, value);
  return status;
}

VokError GetPropertyCommand::readFocusInfo(VokPropertyID propertyID) {
  auto info = std::make_unique<tagVokFocusInfo>();  // 33 KB, zeroed
  const VokError status = VokGetPropertyData(_model->_camera, propertyID, 0, sizeof *info, info.get());
  if (status != VOK_ERR_OK && status != VOK_ERR_PROPERTIES_UNAVAILABLE) return status;
  // Unavailable focus information means no frames: the cleared record is announced too.
  if (status != VOK_ERR_OK) std::memset(info.get(), 0, sizeof *info);
  _model->setFocusInfo(*info);
  _model->_viewNotification.notify(std::make_shared<const CameraEvent>(
      CameraEvent::CameraEventType::property_CHANGED, QVariant::fromValue<quint32>(CameraModel::kFocusInfo)));
  return status;
}

VokError GetPropertyCommand::readByteBlock(VokPropertyID propertyID, VokUInt32 size) {
  // The size comes from the camera: refuse an implausible one rather than allocate it.
  if (size > kMaxByteBlockSize) return kByteBlockTooLarge;
  std::vector<std::uint8_t> block(size, 0);
  std::uint8_t none = 0;  // an empty block still gets a valid buffer pointer
  const VokError status = VokGetPropertyData(_model->_camera, propertyID, 0, size, block.empty() ? &none : block.data());
  if (status == VOK_ERR_OK) _model->setPropertyByteBlock(propertyID, block);
  return status;
}
