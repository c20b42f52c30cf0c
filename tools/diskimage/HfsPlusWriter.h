#pragma once

#include <QString>

class QFile;

namespace diskimage {

// The allocation block of the volumes we write; every B-tree node is one block too.
inline constexpr int kHfsBlockSize = 4096;

// Writes an HFS+ volume named `volumeName` holding the files, folders and symbolic links under
// `folder` (nested folders too) into `out`, an open, empty file. The volume's size is a whole
// number of blocks: the file system the Mac's own tool puts in a disk image by default.
[[nodiscard]] bool writeHfsPlusVolume(const QString& folder, const QString& volumeName, QFile& out, QString* why);

}  // namespace diskimage
