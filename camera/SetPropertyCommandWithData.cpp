#include "camera/SetPropertyCommandWithData.h"

#include <QtEndian>

#include <array>

#include "camera/CameraModel.h"

SetPropertyCommandWithData::SetPropertyCommandWithData(std::shared_ptr<CameraModel> model, VokPropertyID propertyID,
                                                       Data data)
    : Command(std::move(model)), _propertyID(propertyID), _data(data) {}

bool SetPropertyCommandWithData::execute() {
  // The camera takes little-endian values: a point as x then y, anything else as 32 bits.
  std::array<unsigned char, 8> bytes{};
  VokUInt32 size = 4;
  if (const auto* point = std::get_if<tagVokPoint>(&_data)) {
    qToLittleEndian<qint32>(point->x, bytes.data());
    qToLittleEndian<qint32>(point->y, bytes.data() + 4);
    size = 8;
  } else if (const auto* zoom = std::get_if<VokEvfZoom>(&_data)) {
    qToLittleEndian<quint32>(zoom->rawValue, bytes.data());
  } else {
    qToLittleEndian<quint32>(std::get<VokUInt32>(_data), bytes.data());
  }
  const VokError status = VokSetPropertyData(_model->_camera, _propertyID, 0, size, bytes.data());
  (void)_model->_viewNotification.reportResult(status);
  return true;
}
