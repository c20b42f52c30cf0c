#pragma once

// Where files from the camera's card go and how they get there: the folders, the rule that
// turns the camera's item name into a local file name, and the download of one item.

#include <QString>

#include <cstddef>
#include <functional>
#include <optional>

#include "vok/VokSdk.h"

// Statuses of the program's own, away from the SDK's.
inline constexpr VokError kStatusFolderNotFound = 0x0000F001;  // the card has no DCIM folder
inline constexpr VokError kStatusUnsafeItemName = 0x0000F002;  // the camera's name is no plain file name
inline constexpr VokError kStatusLocalFile = 0x0000F003;       // no local file could be made for it

// The folders the file commands download into.
struct DownloadFolders {
  QString pictures;  // all the card's pictures: the user's pictures folder
  QString transfer;  // pictures the camera offers one by one: the application's data folder

  // The user's XDG folders.
  [[nodiscard]] static DownloadFolders standard();
};

// The item name held in `size` bytes as one plain path component: UTF-8 text up to its
// terminating zero byte, which must be there. Empty text, ".", "..", a "/" and control
// characters give nothing, as does text that is not UTF-8.
[[nodiscard]] std::optional<QString> plainFileName(const char* bytes, std::size_t size);
// The name in a directory-item record, which runs to the record's end.
[[nodiscard]] std::optional<QString> plainFileName(const tagVokDirectoryItemInfo& info);
// The `n`th name to try for a new file: the name itself, then "-1", "-2"... before its
// extension ("IMG_0001.JPG", "IMG_0001-1.JPG"; ".profile", ".profile-1").
[[nodiscard]] QString candidateFileName(const QString& name, int n);

struct ItemDownload {
  std::function<void()> onRecordRead;     // called once the item's record was read
  VokProgressCallback progress = nullptr;  // registered on the file stream when set
  void* context = nullptr;
};

// Downloads `item` into `folder` (made if missing) under the item's own name made plain, next
// to what is there and never over it; when the download fails, its file is removed again.
// Does not release `item`. Returns the SDK's status or one of the program's own above.
[[nodiscard]] VokError downloadItemToFolder(VokDirectoryItemRef item, const QString& folder,
                                            const ItemDownload& how = {}, QString* savedPath = nullptr);
