#include "camera/CommandSupport.h"

#include <QtEndian>

#include "camera/CameraModel.h"

VokError readPropertyUInt32(VokBaseRef ref, VokPropertyID id, VokUInt32& value) {
  unsigned char bytes[4] = {};
  const VokError status = VokGetPropertyData(ref, id, 0, sizeof bytes, bytes);
  if (status == VOK_ERR_OK) value = qFromLittleEndian<quint32>(bytes);
  return status;
}

VokError writePropertyUInt32(VokBaseRef ref, VokPropertyID id, VokUInt32 value) {
  unsigned char bytes[4];
  qToLittleEndian<quint32>(value, bytes);
  return VokSetPropertyData(ref, id, 0, sizeof bytes, bytes);
}

void notify(const CameraModel& model, CameraEvent::CameraEventType type, QVariant arg) {
  model._viewNotification.notify(std::make_shared<const CameraEvent>(type, std::move(arg)));
}
