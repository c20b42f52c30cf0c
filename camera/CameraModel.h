#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "camera/CameraEvent.h"
#include "camera/ViewNotification.h"
#include "vok/VokSdk.h"

// The camera layer's store for one connected camera: the SDK reference every command uses, the
// property values and descriptors as the property commands read them, and the flags the
// commands share. Every change through a setter is announced under "MY_VIEW_UPDATE".
//
// Commands use the store on the command queue, while the action dispatcher writes flags and
// values from the SDK's threads: scalar fields are atomics, the records sit behind a mutex and
// are reached through copies.
class CameraModel {
 public:
  // Property ids held outside the value table.
  static constexpr VokPropertyID kProductName = 0x00000002;
  static constexpr VokPropertyID kOwnerName = 0x00000004;
  static constexpr VokPropertyID kFocusInfo = 0x00000104;
  static constexpr VokPropertyID kEvfOutputDevice = 0x00000500;
  static constexpr VokPropertyID kEvfMode = 0x00000501;
  static constexpr VokPropertyID kEvfDepthOfFieldPreview = 0x00000504;
  static constexpr VokPropertyID kFixedMovie = 0x01000422;
  static constexpr VokPropertyID kMovieQuality = 0x01000423;
  static constexpr VokPropertyID kAspect = 0x01000431;
  static constexpr VokPropertyID kClickWB = 0x01000506;
  static constexpr VokUInt32 kNotRead = 0xFFFFFFFF;
  static constexpr std::size_t kNameSize = 256;

  // Does not take ownership of `camera`: whoever found the camera releases it.
  explicit CameraModel(VokCameraRef camera);
  CameraModel(const CameraModel&) = delete;
  CameraModel& operator=(const CameraModel&) = delete;

  [[nodiscard]] VokCameraRef camera() const { return _camera; }

  // The value field of `propertyID`; kNotRead for an id without one.
  [[nodiscard]] VokUInt32 getPropertyUInt32(VokPropertyID propertyID) const;
  // Stores and announces a value; ids without a value field are ignored.
  void setPropertyUInt32(VokPropertyID propertyID, VokUInt32 value);
  // Stores and announces a descriptor; ids without a descriptor field are ignored.
  void setPropertyDesc(VokPropertyID propertyID, const tagVokPropertyDesc& desc);
  // The product name (id 2) and the owner name (id 4); other ids are ignored.
  void setPropertyString(VokPropertyID propertyID, const std::vector<std::int8_t>& bytes);
  // The white-balance block and the movie quality; other ids, and blocks shorter than their
  // record, are ignored.
  void setPropertyByteBlock(VokPropertyID propertyID, const std::vector<std::uint8_t>& bytes);

  // The product name as ASCII text up to its first zero byte (at most 256 bytes); empty when
  // those bytes are not ASCII.
  [[nodiscard]] QString productName() const;
  [[nodiscard]] std::vector<std::int8_t> modelString() const;
  [[nodiscard]] std::vector<std::int8_t> ownerName() const;

  // The descriptor field of `propertyID`, if it has one.
  [[nodiscard]] std::optional<tagVokPropertyDesc> propertyDesc(VokPropertyID propertyID) const;

  [[nodiscard]] tagVokManualWBData clickWB() const;
  // Announces the white-balance block after every store.
  void setClickWB(const tagVokManualWBData& data);
  [[nodiscard]] tagVokSize sizeJpeglarge() const;
  void setSizeJpeglarge(const tagVokSize& size);
  [[nodiscard]] tagVokPoint evfZoomPosition() const;
  void setEvfZoomPosition(const tagVokPoint& point);
  [[nodiscard]] tagVokFocusInfo focusInfo() const;
  // Stores only; the reader announces it.
  void setFocusInfo(const tagVokFocusInfo& info);

  const VokCameraRef _camera;
  const ViewNotification _viewNotification{};
  std::atomic<bool> isTypeDS{false};
  std::atomic<bool> canDownloadImage{true};
  std::atomic<bool> isEvfEnable{false};

  std::atomic<VokUInt32> _AEMode{0};
  std::atomic<VokUInt32> _Av{0};
  std::atomic<VokUInt32> _Tv{0};
  std::atomic<VokUInt32> _Iso{0};
  std::atomic<VokUInt32> _MeteringMode{0};
  std::atomic<VokUInt32> _ExposureCompensation{0};
  std::atomic<VokUInt32> _ImageQuality{0};
  std::atomic<VokUInt32> _evfMode{0};
  std::atomic<VokUInt32> _startupEvfOutputDevice{0};
  std::atomic<VokUInt32> _evfOutputDevice{kNotRead};
  std::atomic<VokUInt32> _evfDepthOfFieldPreview{0};
  std::atomic<VokUInt32> _evfAFMode{0};
  std::atomic<VokUInt32> _availableShots{0};
  std::atomic<VokUInt32> _batteryLevel{0};
  std::atomic<VokUInt32> _tempStatusLevel{0};
  std::atomic<VokUInt32> _rollPitch{1};
  std::atomic<VokUInt32> _fixedMovie{1};
  std::atomic<VokUInt32> _mirrorUpSetting{kNotRead};
  std::atomic<VokUInt32> _mirrorLockUpState{0};
  std::atomic<VokUInt32> _whiteBalance{0};
  std::atomic<VokUInt32> _driveMode{0};
  std::atomic<VokUInt32> _AFMode{0};
  std::atomic<VokUInt32> _zoom{0};
  std::atomic<VokUInt32> _flashMode{0};
  std::atomic<VokUInt32> _movieQuality{0};
  std::atomic<VokUInt32> _movieHFR{0};
  std::atomic<VokUInt32> _pictureStyle{0};
  std::atomic<VokUInt32> _aspect{0};

  std::atomic<VokInt32> _clickPoint{0};
  std::atomic<VokUInt32> _autoPowerOff{0};
  std::atomic<VokUInt32> _evfZoom{0};
  std::atomic<std::int64_t> _storageFileNum{-1};
  // The entries the last card walk had to skip because they could not be fetched.
  std::atomic<std::int64_t> _skippedFileNum{0};
  std::atomic<VokUInt32> _selectedVolumeIndex{255};
  std::atomic<bool> _isFileTransferring{false};
  std::atomic<bool> _isFileDeleting{false};

 private:
  [[nodiscard]] std::atomic<VokUInt32>* valueField(VokPropertyID propertyID);
  [[nodiscard]] const std::atomic<VokUInt32>* valueField(VokPropertyID propertyID) const;
  // Call with _recordsMutex held.
  [[nodiscard]] tagVokPropertyDesc* descField(VokPropertyID propertyID);
  void post(CameraEvent::CameraEventType type, VokPropertyID propertyID) const;

  mutable std::mutex _recordsMutex;
  std::vector<std::int8_t> _modelString;
  std::vector<std::int8_t> _ownerName;
  tagVokManualWBData _clickWB{};
  tagVokSize _sizeJpeglarge{};
  tagVokPropertyDesc _AEModeDesc{};
  tagVokPropertyDesc _AvDesc{};
  tagVokPropertyDesc _TvDesc{};
  tagVokPropertyDesc _IsoDesc{};
  tagVokPropertyDesc _MeteringModeDesc{};
  tagVokPropertyDesc _ExposureCompensationDesc{};
  tagVokPropertyDesc _ImageQualityDesc{};
  tagVokPropertyDesc _evfAFModeDesc{};
  tagVokPropertyDesc _whiteBalanceDesc{};
  tagVokPropertyDesc _driveModeDesc{};
  tagVokPropertyDesc _zoomDesc{};
  tagVokPropertyDesc _flashModeDesc{};
  tagVokPropertyDesc _movieQualityDesc{};
  tagVokPropertyDesc _movieHFRDesc{};
  tagVokPropertyDesc _pictureStyleDesc{};
  tagVokPropertyDesc _aspectDesc{};
  tagVokPropertyDesc _autoPowerOffDesc{};
  tagVokPoint _evfZoomPosition{};
  tagVokFocusInfo _focusInfo{};
};
