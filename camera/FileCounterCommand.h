#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "camera/CameraEvent.h"
#include "camera/Command.h"
#include "camera/VokReference.h"
#include "vok/VokSdk.h"

// The walk that the bulk file commands share: it finds the image items of a card volume (every
// entry of every folder inside its DCIM folder) and counts them.
class FileCounterCommand : public Command {
 public:
  using ItemList = std::vector<VokReference>;

  // Walks volume `volumeIndex` of `camera`: adds to `fileCount` the entries of every folder in
  // the volume's DCIM folder, also those that cannot be fetched, and appends the fetched ones
  // to `items`, which own them. Folders and items inside the DCIM folder that cannot be
  // fetched are skipped and added to `skipped`. Every other reference it makes is released
  // before it returns. Answers 0x40 for a volume the camera does not have,
  // kStatusFolderNotFound when there is no DCIM folder, the status of a failing count or
  // record read otherwise; a skipped fetch never decides the answer.
  [[nodiscard]] static VokError countFiles(VokCameraRef camera, VokUInt32 volumeIndex, std::int64_t& fileCount,
                                           ItemList& items, std::int64_t& skipped);

  // The items the last walk found and that are not used up yet (tests).
  [[nodiscard]] std::size_t imageItemCount() const { return _imageItems.size(); }

 protected:
  using Command::Command;

  // Walks the selected volume of the model's camera, stores the count and the skipped count
  // and announces the count, then runs `each` on the items in order while `keepGoing` holds
  // and `each` succeeds, posting `perItem` after each success. Ends with close_PROGRESS unless
  // every counted item was done. The items are released at the end.
  void runOnItems(const std::atomic<bool>& keepGoing, const std::function<VokError(std::size_t)>& each,
                  CameraEvent::CameraEventType perItem);

  ItemList _imageItems;
};
