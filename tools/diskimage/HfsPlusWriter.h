#pragma once

#include <QString>

class QFile;

namespace diskimage {

// The allocation block of the volumes we write; every B-tree node is one block too.
inline constexpr int kHfsBlockSize = 4096;

struct HfsPlusOptions {
  // Files of `folder` that are hard links of each other are written as a Mac writes hard links:
  // the file once, as an indirect node in the volume's private folder, and a link record at
  // each of its places. With this set, as plain files that all point at the same blocks
  // instead: a volume no Mac writes, whose files together are far larger than its disk (a
  // shared-extent bomb, for tests).
  bool hardLinksShareBlocks = false;
};

// Writes an HFS+ volume named `volumeName` holding the files, folders, symbolic links and hard
// links under `folder` (nested folders too) into `out`, an open, empty file. The volume's size
// is a whole number of blocks: the file system the Mac's own tool puts in a disk image by
// default. File names are taken as UTF-8; the three-byte forms of surrogates (which some tools
// write for a name holding a lone one) give those code units.
[[nodiscard]] bool writeHfsPlusVolume(const QString& folder, const QString& volumeName, QFile& out, QString* why,
                                      const HfsPlusOptions& options = {});

}  // namespace diskimage
