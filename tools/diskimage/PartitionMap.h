#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

namespace diskimage {

inline constexpr int kSectorSize = 512;

enum class PartitionMapKind { Gpt, Apple, None };

// One stretch of the disk an image describes: a piece of the partition map (its bytes), free
// space, or the file-system volume (whose bytes come from elsewhere).
struct DiskPiece {
  enum class Kind { Bytes, Free, Volume };
  Kind kind = Kind::Bytes;
  QString name;  // as the Mac's tool names a disk image's partitions
  int id = 0;
  std::uint64_t firstSector = 0;
  std::uint64_t sectorCount = 0;
  QByteArray bytes;  // Kind::Bytes
};

// The disk around an HFS+ volume of `volumeSectors` sectors: the pieces in disk order, the
// last of them ending where the disk ends.
[[nodiscard]] QList<DiskPiece> diskAround(std::uint64_t volumeSectors, PartitionMapKind map);

}  // namespace diskimage
