#include "camera/DownloadEvfCommand.h"

#include <QVariant>

#include <algorithm>
#include <memory>

#include "camera/CameraEvfData.h"
#include "camera/CameraModel.h"
#include "camera/CommandSupport.h"
#include "camera/LiveView.h"
#include "camera/VokReference.h"

using namespace live_view;
using Type = CameraEvent::CameraEventType;

bool DownloadEvfCommand::execute() {
  if ((_model->_evfOutputDevice.load() & kComputerBit) == 0) return true;
  if (!pause(kPause)) return true;  // the queue was stopped
  const VokError status = downloadFrame();
  // Not ready yet is not worth a report each time: said once, when giving up.
  if (status == VOK_ERR_OBJECT_NOTREADY) return waitOrGiveUp(status);
  return limitRetries(_model->_viewNotification.reportResultRetryOnError(status), kMaxAttempts);
}

VokError DownloadEvfCommand::downloadFrame() {
  // Declared in this order so that the image goes before its stream.
  VokReference stream;
  VokReference image;
  VokError status = stream.obtain([](VokBaseRef* out) { return VokCreateMemoryStream(kMemoryStreamSize, out); });
  if (status == VOK_ERR_OK) {
    status = image.obtain([&](VokBaseRef* out) { return VokCreateEvfImageRef(stream.get(), out); });
  }
  if (status == VOK_ERR_OK) status = VokDownloadEvfImage(_model->_camera, image.get());
  if (status != VOK_ERR_OK) return status;

  // The geometry comes from the frame itself; a value that cannot be read stays zero.
  auto frame = std::make_shared<CameraEvfData>();
  frame->_zoom = readPropertyRecord<VokUInt32>(image.get(), kZoom);
  frame->_zoomRect = readPropertyRecord<tagVokRect>(image.get(), kZoomRect);
  frame->_imagePosition = readPropertyRecord<tagVokPoint>(image.get(), kImagePosition);
  frame->_sizeJpeglarge = readPropertyRecord<tagVokSize>(image.get(), kSizeJpegLarge);
  _model->setSizeJpeglarge(frame->_sizeJpeglarge);
  frame->_visibleRect = readPropertyRecord<tagVokRect>(image.get(), kVisibleRect);
  _model->_evfZoom.store(frame->_zoom);
  _model->setEvfZoomPosition(frame->_zoomRect.point);

  if (copyFrame(stream.get(), frame->_stream)) {
    notify(*_model, Type::evf_DATA_CHANGED, QVariant::fromValue(std::shared_ptr<const CameraEvfData>(frame)));
  }

  status = VOK_ERR_OK;
  if (_model->getPropertyUInt32(kRollPitch) == 0) {
    const auto position = readPropertyRecord<tagVokCameraPos>(image.get(), kRollPitch, &status);
    if (status == VOK_ERR_OK) notify(*_model, Type::angle_INFO, QVariant::fromValue(position));
  }
  return status;
}

bool DownloadEvfCommand::copyFrame(VokStreamRef stream, QByteArray& out) {
  // The statuses are not examined: a frame that was fetched goes out whatever these two say,
  // as long as there is a buffer to copy from.
  const void* pointer = nullptr;
  VokUInt64 length = 0;
  (void)VokGetPointer(stream, &pointer);
  (void)VokGetLength(stream, &length);
  if (!pointer) return false;
  length = std::min(length, kMemoryStreamSize);
  out = QByteArray(static_cast<const char*>(pointer), static_cast<qsizetype>(length));
  return true;
}
