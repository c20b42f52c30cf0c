#pragma once

#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

class QIODevice;

namespace diskimage {

// One entry of a block table: `sectors` sectors of the disk from `sector` on, whose bytes are
// stored (as `kind` says, one of the udif:: entry kinds) in `length` bytes at `offset` of the
// image file. Zero and free runs store nothing.
struct UdifChunk {
  std::uint32_t kind = 0;
  std::uint64_t sector = 0;
  std::uint64_t sectors = 0;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// One block table: a stretch of the disk (a partition, a piece of the partition map, free room).
struct UdifTable {
  std::uint64_t firstSector = 0;
  std::uint64_t sectorCount = 0;
  QList<UdifChunk> chunks;  // in disk order, covering the stretch without gap or overlap
};

// What an image's trailer and property list say of its disk. Once read, the tables lie in disk
// order and cover the disk from its first sector without gap or overlap, and every chunk's
// stored bytes lie in the image's data fork.
struct UdifLayout {
  enum class Status {
    NotUdif,  // no UDIF trailer, or no property list to find the tables in: not ours to judge
    Bad,      // a UDIF image whose tables contradict themselves or the file (`why` says how)
    Ok,
  };
  Status status = Status::NotUdif;
  QString why;
  QList<UdifTable> tables;

  [[nodiscard]] std::uint64_t diskSectors() const {
    return tables.isEmpty() ? 0 : tables.back().firstSector + tables.back().sectorCount;
  }
};

// Reads the trailer and the block tables of the image in `image` (open for reading); no chunk
// is read.
[[nodiscard]] UdifLayout readUdifLayout(QIODevice& image);

// How many bytes the disk in the UDIF image at `path` holds once unpacked, from its tables
// alone. nullopt when the file is no UDIF image whose tables we can read.
[[nodiscard]] std::optional<std::uint64_t> udifDiskBytes(const QString& path);

}  // namespace diskimage
