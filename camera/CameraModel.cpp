#include "camera/CameraModel.h"

#include <QVariant>

#include <algorithm>
#include <cstring>

using Type = CameraEvent::CameraEventType;

CameraModel::CameraModel(VokCameraRef camera)
    : _camera(camera), _modelString(kNameSize, 0x20), _ownerName(kNameSize, 0x20) {}

const std::atomic<VokUInt32>* CameraModel::valueField(VokPropertyID propertyID) const {
  return const_cast<CameraModel*>(this)->valueField(propertyID);
}

std::atomic<VokUInt32>* CameraModel::valueField(VokPropertyID propertyID) {
  switch (propertyID) {
    case 0x00000008: return &_batteryLevel;
    case 0x00000100: return &_ImageQuality;
    case 0x00000106: return &_whiteBalance;
    case 0x00000114: return &_pictureStyle;
    case 0x00000401: return &_driveMode;
    case 0x00000402: return &_Iso;
    case 0x00000403: return &_MeteringMode;
    case 0x00000404: return &_AFMode;
    case 0x00000405: return &_Av;
    case 0x00000406: return &_Tv;
    case 0x00000407: return &_ExposureCompensation;
    case 0x0000040A: return &_availableShots;
    case 0x00000436: return &_AEMode;
    case 0x00000500: return &_evfOutputDevice;
    case 0x00000501: return &_evfMode;
    case 0x00000504: return &_evfDepthOfFieldPreview;
    case 0x0000050E: return &_evfAFMode;
    case 0x00000600: return &_zoom;
    case 0x00000601: return &_flashMode;
    case 0x01000415: return &_tempStatusLevel;
    case 0x01000421: return &_mirrorLockUpState;
    case 0x01000422: return &_fixedMovie;
    case 0x01000423: return &_movieQuality;
    case 0x01000431: return &_aspect;
    case 0x01000438: return &_mirrorUpSetting;
    case 0x0100045D: return &_movieHFR;
    case 0x0100045E: return &_autoPowerOff;
    case 0x01000544: return &_rollPitch;
    default: return nullptr;
  }
}

tagVokPropertyDesc* CameraModel::descField(VokPropertyID propertyID) {
  switch (propertyID) {
    case 0x00000100: return &_ImageQualityDesc;
    case 0x00000106: return &_whiteBalanceDesc;
    case 0x00000114: return &_pictureStyleDesc;
    case 0x00000401: return &_driveModeDesc;
    case 0x00000402: return &_IsoDesc;
    case 0x00000403: return &_MeteringModeDesc;
    case 0x00000405: return &_AvDesc;
    case 0x00000406: return &_TvDesc;
    case 0x00000407: return &_ExposureCompensationDesc;
    case 0x00000436: return &_AEModeDesc;
    case 0x0000050E: return &_evfAFModeDesc;
    case 0x00000600: return &_zoomDesc;
    case 0x00000601: return &_flashModeDesc;
    case 0x01000423: return &_movieQualityDesc;
    case 0x01000431: return &_aspectDesc;
    case 0x0100045D: return &_movieHFRDesc;
    case 0x0100045E: return &_autoPowerOffDesc;
    default: return nullptr;
  }
}

void CameraModel::post(Type type, VokPropertyID propertyID) const {
  _viewNotification.notify(std::make_shared<const CameraEvent>(type, QVariant::fromValue<quint32>(propertyID)));
}

VokUInt32 CameraModel::getPropertyUInt32(VokPropertyID propertyID) const {
  const auto* field = valueField(propertyID);
  return field ? field->load() : kNotRead;
}

void CameraModel::setPropertyUInt32(VokPropertyID propertyID, VokUInt32 value) {
  if (propertyID == kEvfOutputDevice) {
    // The first value read replaces the "not read yet" mark and is kept as the start-up one.
    if (_evfOutputDevice.load() == kNotRead) _startupEvfOutputDevice.store(value);
    _evfOutputDevice.store(value);
    post(Type::download_EVF, propertyID);
    return;
  }
  auto* field = valueField(propertyID);
  if (!field) return;
  field->store(value);
  if (propertyID == kEvfMode || propertyID == kEvfDepthOfFieldPreview) return;
  post(Type::property_CHANGED, propertyID);
}

void CameraModel::setPropertyDesc(VokPropertyID propertyID, const tagVokPropertyDesc& desc) {
  bool clearedMovieQuality = false;
  {
    std::lock_guard lock(_recordsMutex);
    tagVokPropertyDesc* field = descField(propertyID);
    if (!field) return;
    *field = desc;
    // Without a fixed movie setting the movie-quality choices do not apply to this aspect.
    if (propertyID == kAspect && _fixedMovie.load() == 0) {
      _movieQualityDesc.numElements = 0;
      clearedMovieQuality = true;
    }
  }
  post(Type::propertydesc_CHANGED, propertyID);
  if (clearedMovieQuality) post(Type::propertydesc_CHANGED, kMovieQuality);
}

void CameraModel::setPropertyString(VokPropertyID propertyID, const std::vector<std::int8_t>& bytes) {
  if (propertyID == kOwnerName) {
    {
      std::lock_guard lock(_recordsMutex);
      _ownerName = bytes;
    }
    post(Type::property_CHANGED, propertyID);
    return;
  }
  if (propertyID != kProductName) return;
  {
    std::lock_guard lock(_recordsMutex);
    _modelString = bytes;
  }
  isTypeDS.store(productName().contains(QLatin1String("Tavo")));
}

QString CameraModel::productName() const {
  std::lock_guard lock(_recordsMutex);
  const std::size_t limit = std::min(_modelString.size(), kNameSize);
  const auto begin = _modelString.begin();
  const auto end = std::find(begin, begin + static_cast<std::ptrdiff_t>(limit), 0);
  QString name;
  name.reserve(static_cast<qsizetype>(end - begin));
  for (auto it = begin; it != end; ++it) {
    if (*it < 0) return {};  // a byte above 0x7F: not ASCII
    name.append(QLatin1Char(static_cast<char>(*it)));
  }
  return name;
}

std::vector<std::int8_t> CameraModel::modelString() const {
  std::lock_guard lock(_recordsMutex);
  return _modelString;
}

std::vector<std::int8_t> CameraModel::ownerName() const {
  std::lock_guard lock(_recordsMutex);
  return _ownerName;
}

void CameraModel::setPropertyByteBlock(VokPropertyID propertyID, const std::vector<std::uint8_t>& bytes) {
  if (propertyID == kClickWB) {
    if (bytes.size() < sizeof(tagVokManualWBData)) return;
    tagVokManualWBData data{};
    std::memcpy(&data, bytes.data(), sizeof data);
    setClickWB(data);
    return;
  }
  if (propertyID == kMovieQuality) {
    if (bytes.size() < sizeof(VokUInt32)) return;
    const VokUInt32 value = VokUInt32(bytes[0]) | VokUInt32(bytes[1]) << 8 | VokUInt32(bytes[2]) << 16 |
                            VokUInt32(bytes[3]) << 24;
    _movieQuality.store(value);
    post(Type::property_CHANGED, propertyID);
  }
}

std::optional<tagVokPropertyDesc> CameraModel::propertyDesc(VokPropertyID propertyID) const {
  std::lock_guard lock(_recordsMutex);
  const tagVokPropertyDesc* field = const_cast<CameraModel*>(this)->descField(propertyID);
  if (!field) return std::nullopt;
  return *field;
}

tagVokManualWBData CameraModel::clickWB() const {
  std::lock_guard lock(_recordsMutex);
  return _clickWB;
}

void CameraModel::setClickWB(const tagVokManualWBData& data) {
  {
    std::lock_guard lock(_recordsMutex);
    _clickWB = data;
  }
  post(Type::property_CHANGED, kClickWB);
}

tagVokSize CameraModel::sizeJpeglarge() const {
  std::lock_guard lock(_recordsMutex);
  return _sizeJpeglarge;
}

void CameraModel::setSizeJpeglarge(const tagVokSize& size) {
  std::lock_guard lock(_recordsMutex);
  _sizeJpeglarge = size;
}

tagVokPoint CameraModel::evfZoomPosition() const {
  std::lock_guard lock(_recordsMutex);
  return _evfZoomPosition;
}

void CameraModel::setEvfZoomPosition(const tagVokPoint& point) {
  std::lock_guard lock(_recordsMutex);
  _evfZoomPosition = point;
}

tagVokFocusInfo CameraModel::focusInfo() const {
  std::lock_guard lock(_recordsMutex);
  return _focusInfo;
}

void CameraModel::setFocusInfo(const tagVokFocusInfo& info) {
  std::lock_guard lock(_recordsMutex);
  _focusInfo = info;
}
