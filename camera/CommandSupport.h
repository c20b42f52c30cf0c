#pragma once

// Small pieces that the camera commands share: 4-byte property reads and writes, record reads,
// and posting reports.

#include <QVariant>

#include <cstring>

#include "camera/CameraEvent.h"
#include "vok/VokSdk.h"

class CameraModel;

// Reads a 4-byte little-endian value; `value` changes only on success.
[[nodiscard]] VokError readPropertyUInt32(VokBaseRef ref, VokPropertyID id, VokUInt32& value);
// Writes a 4-byte little-endian value.
[[nodiscard]] VokError writePropertyUInt32(VokBaseRef ref, VokPropertyID id, VokUInt32 value);

// Reads an SDK record of its own size; all zero when the read fails.
template <typename Record>
Record readPropertyRecord(VokBaseRef ref, VokPropertyID id, VokError* status = nullptr) {
  Record record{};
  const VokError result = VokGetPropertyData(ref, id, 0, sizeof record, &record);
  if (result != VOK_ERR_OK) std::memset(&record, 0, sizeof record);
  if (status) *status = result;
  return record;
}

// Posts a report under "MY_VIEW_UPDATE" through the model's notifier.
void notify(const CameraModel& model, CameraEvent::CameraEventType type, QVariant arg);
// A number as reports carry it.
inline QVariant reportNumber(quint32 value) { return QVariant::fromValue<quint32>(value); }
