#include "camera/FileCounterCommand.h"

#include <cstring>

#include "camera/CameraModel.h"
#include "camera/CardFiles.h"
#include "camera/CommandSupport.h"

namespace {

// The DCIM folder among the volume's entries: the first folder of that exact name.
VokError findDcim(VokBaseRef volume, VokReference& dcim) {
  VokUInt32 count = 0;
  VokError status = VokGetChildCount(volume, &count);
  if (status != VOK_ERR_OK) return status;
  for (VokUInt32 i = 0; i < count; ++i) {
    VokReference entry;
    status = entry.obtain([&](VokBaseRef* out) { return VokGetChildAtIndex(volume, static_cast<VokInt32>(i), out); });
    if (status != VOK_ERR_OK) continue;  // skipped
    tagVokDirectoryItemInfo info{};
    status = VokGetDirectoryItemInfo(entry.get(), &info);
    if (status != VOK_ERR_OK) return status;
    if (info.isFolder == 1 && std::strncmp(reinterpret_cast<const char*>(info.szFileName), "DCIM",
                                           sizeof info.szFileName) == 0) {
      dcim = std::move(entry);
      return VOK_ERR_OK;
    }
  }
  // Nothing to walk: said plainly, without asking the SDK about a folder that is not there. An
  // entry that could not be fetched was skipped and does not change that answer.
  return kStatusFolderNotFound;
}

}  // namespace

VokError FileCounterCommand::countFiles(VokCameraRef camera, VokUInt32 volumeIndex, std::int64_t& fileCount,
                                        ItemList& items, std::int64_t& skipped) {
  VokUInt32 volumes = 0;
  VokError status = VokGetChildCount(camera, &volumes);
  if (status != VOK_ERR_OK) return status;
  if (volumes <= volumeIndex) return VOK_ERR_NO_VOLUME;
  VokReference volume;
  status = volume.obtain([&](VokBaseRef* out) { return VokGetChildAtIndex(camera, static_cast<VokInt32>(volumeIndex), out); });
  if (status != VOK_ERR_OK) return status;
  VokReference dcim;
  status = findDcim(volume.get(), dcim);
  if (status != VOK_ERR_OK) return status;

  VokUInt32 folders = 0;
  status = VokGetChildCount(dcim.get(), &folders);
  if (status != VOK_ERR_OK) return status;
  // A folder or item that cannot be fetched is skipped and counted as such; only the counts
  // decide the answer, so the other items are still worked on.
  for (VokUInt32 f = 0; f < folders; ++f) {
    VokReference folder;
    if (folder.obtain([&](VokBaseRef* out) { return VokGetChildAtIndex(dcim.get(), static_cast<VokInt32>(f), out); }) !=
        VOK_ERR_OK) {
      ++skipped;
      continue;
    }
    VokUInt32 files = 0;
    status = VokGetChildCount(folder.get(), &files);
    if (status != VOK_ERR_OK) return status;
    fileCount += files;
    for (VokUInt32 i = 0; i < files; ++i) {
      VokReference item;
      if (item.obtain([&](VokBaseRef* out) { return VokGetChildAtIndex(folder.get(), static_cast<VokInt32>(i), out); }) ==
          VOK_ERR_OK) {
        items.push_back(std::move(item));
      } else {
        ++skipped;
      }
    }
  }
  return VOK_ERR_OK;
}

void FileCounterCommand::runOnItems(const std::atomic<bool>& keepGoing,
                                    const std::function<VokError(std::size_t)>& each,
                                    CameraEvent::CameraEventType perItem) {
  using Type = CameraEvent::CameraEventType;
  _imageItems.clear();
  std::int64_t count = 0;
  std::int64_t skipped = 0;
  if (countFiles(_model->_camera, _model->_selectedVolumeIndex.load(), count, _imageItems, skipped) != VOK_ERR_OK) {
    _imageItems.clear();
    notify(*_model, Type::close_PROGRESS, reportNumber(0));
    return;
  }
  // Both counts are in the store when the count is announced.
  _model->_skippedFileNum.store(skipped);
  _model->_storageFileNum.store(count);
  notify(*_model, Type::file_COUNT_COMPLETED, reportNumber(static_cast<quint32>(count)));
  std::int64_t done = 0;
  for (std::size_t i = 0; static_cast<std::int64_t>(i) < count && i < _imageItems.size(); ++i) {
    if (!keepGoing.load() || each(i) != VOK_ERR_OK) break;
    notify(*_model, perItem, reportNumber(0));
    ++done;
  }
  _imageItems.clear();
  if (count == 0 || done < count) notify(*_model, Type::close_PROGRESS, reportNumber(0));
}
