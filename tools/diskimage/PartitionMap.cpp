#include "tools/diskimage/PartitionMap.h"

#include <QUuid>

#include "tools/diskimage/DiskFields.h"

namespace diskimage {
namespace {

// GUID partition table: 128 entries of 128 bytes after the header sector; the volume starts
// 4 KiB aligned, as the Mac's tool places it.
constexpr std::uint64_t kGptEntries = 128;
constexpr std::uint64_t kGptEntrySize = 128;
constexpr std::uint64_t kGptTableSectors = kGptEntries * kGptEntrySize / kSectorSize;
constexpr std::uint64_t kGptVolumeStart = 40;
// The Apple partition map takes 63 sectors after the driver descriptor map.
constexpr std::uint64_t kApmMapSectors = 63;
constexpr std::uint64_t kApmVolumeStart = 1 + kApmMapSectors;

// A GUID as GPT stores it: the first three fields little-endian.
void putGuid(QByteArray& b, qsizetype at, const QUuid& id) {
  b.replace(at, 16, id.toRfc4122());
  std::swap(b[at], b[at + 3]);
  std::swap(b[at + 1], b[at + 2]);
  std::swap(b[at + 4], b[at + 5]);
  std::swap(b[at + 6], b[at + 7]);
}
QByteArray protectiveMbr(std::uint64_t diskSectors) {
  QByteArray s(kSectorSize, '\0');
  const qsizetype entry = 446;
  s[entry + 2] = 0x02;  // CHS of sector 1
  s[entry + 4] = static_cast<char>(0xEE);
  s[entry + 5] = static_cast<char>(0xFF);
  s[entry + 6] = static_cast<char>(0xFF);
  s[entry + 7] = static_cast<char>(0xFF);
  le::put32(s, entry + 8, 1);
  le::put32(s, entry + 12, static_cast<std::uint32_t>(std::min<std::uint64_t>(diskSectors - 1, 0xFFFFFFFFULL)));
  s[510] = 0x55;
  s[511] = static_cast<char>(0xAA);
  return s;
}

QByteArray gptHeader(std::uint64_t self, std::uint64_t other, std::uint64_t tableAt, std::uint64_t diskSectors,
                     const QUuid& disk, std::uint32_t tableCrc) {
  QByteArray s(kSectorSize, '\0');
  s.replace(0, 8, "EFI PART");
  le::put32(s, 8, 0x00010000);
  le::put32(s, 12, 92);
  le::put64(s, 24, self);
  le::put64(s, 32, other);
  le::put64(s, 40, 2 + kGptTableSectors);
  le::put64(s, 48, diskSectors - 2 - kGptTableSectors);
  putGuid(s, 56, disk);
  le::put64(s, 72, tableAt);
  le::put32(s, 80, kGptEntries);
  le::put32(s, 84, kGptEntrySize);
  le::put32(s, 88, tableCrc);
  le::put32(s, 16, crc32Of(s.left(92)));
  return s;
}

QByteArray gptTable(std::uint64_t first, std::uint64_t last) {
  QByteArray t(kGptTableSectors * kSectorSize, '\0');
  putGuid(t, 0, QUuid(QStringLiteral("48465300-0000-11AA-AA11-00306543ECAC")));  // HFS+
  putGuid(t, 16, QUuid::createUuid());
  le::put64(t, 32, first);
  le::put64(t, 40, last);
  const QString name = QStringLiteral("disk image");
  for (qsizetype i = 0; i < name.size(); ++i) le::put16(t, 56 + 2 * i, name[i].unicode());
  return t;
}

QByteArray apmEntry(std::uint32_t entries, std::uint32_t start, std::uint32_t count, const char* name,
                    const char* type, std::uint32_t status) {
  QByteArray s(kSectorSize, '\0');
  be::put16(s, 0, 0x504D);  // 'PM'
  be::put32(s, 4, entries);
  be::put32(s, 8, start);
  be::put32(s, 12, count);
  s.replace(16, static_cast<qsizetype>(qstrlen(name)), name);
  s.replace(48, static_cast<qsizetype>(qstrlen(type)), type);
  be::put32(s, 84, count);
  be::put32(s, 88, status);
  return s;
}

}  // namespace

QList<DiskPiece> diskAround(std::uint64_t volumeSectors, PartitionMapKind map) {
  using Kind = DiskPiece::Kind;
  QList<DiskPiece> pieces;
  std::uint64_t diskSectors = 0;
  switch (map) {
    case PartitionMapKind::None:
      diskSectors = volumeSectors;
      pieces.append({Kind::Volume, QStringLiteral("disk image (Apple_HFS : 0)"), 0, 0, volumeSectors, {}});
      break;
    case PartitionMapKind::Apple: {
      diskSectors = kApmVolumeStart + volumeSectors;
      QByteArray ddm(kSectorSize, '\0');
      be::put16(ddm, 0, 0x4552);  // 'ER'
      be::put16(ddm, 2, kSectorSize);
      be::put32(ddm, 4, static_cast<std::uint32_t>(diskSectors));
      QByteArray table = apmEntry(2, 1, kApmMapSectors, "Apple", "Apple_partition_map", 0x3);
      table += apmEntry(2, kApmVolumeStart, static_cast<std::uint32_t>(volumeSectors), "disk image", "Apple_HFS",
                        0x40000033);
      table.resize(kApmMapSectors * kSectorSize, '\0');
      pieces.append({Kind::Bytes, QStringLiteral("Driver Descriptor Map (DDM : 0)"), -1, 0, 1, ddm});
      pieces.append({Kind::Bytes, QStringLiteral("Apple (Apple_partition_map : 1)"), 0, 1, kApmMapSectors, table});
      pieces.append({Kind::Volume, QStringLiteral("disk image (Apple_HFS : 2)"), 1, kApmVolumeStart, volumeSectors, {}});
      break;
    }
    case PartitionMapKind::Gpt: {
      const std::uint64_t volumeEnd = kGptVolumeStart + volumeSectors;
      diskSectors = volumeEnd + kGptTableSectors + 1;
      const std::uint64_t last = diskSectors - 1;
      const QUuid disk = QUuid::createUuid();
      const QByteArray table = gptTable(kGptVolumeStart, volumeEnd - 1);
      const std::uint32_t tableCrc = crc32Of(table);
      pieces.append({Kind::Bytes, QStringLiteral("Protective Master Boot Record (MBR : 0)"), -1, 0, 1,
                     protectiveMbr(diskSectors)});
      pieces.append({Kind::Bytes, QStringLiteral("GPT Header (Primary GPT Header : 1)"), 0, 1, 1,
                     gptHeader(1, last, 2, diskSectors, disk, tableCrc)});
      pieces.append({Kind::Bytes, QStringLiteral("GPT Partition Data (Primary GPT Table : 2)"), 1, 2,
                     kGptTableSectors, table});
      pieces.append({Kind::Free, QStringLiteral(" (Apple_Free : 3)"), 2, 2 + kGptTableSectors,
                     kGptVolumeStart - 2 - kGptTableSectors, {}});
      pieces.append({Kind::Volume, QStringLiteral("disk image (Apple_HFS : 4)"), 3, kGptVolumeStart, volumeSectors, {}});
      pieces.append({Kind::Bytes, QStringLiteral("GPT Partition Data (Backup GPT Table : 5)"), 4, volumeEnd,
                     kGptTableSectors, table});
      pieces.append({Kind::Bytes, QStringLiteral("GPT Header (Backup GPT Header : 6)"), 5, last, 1,
                     gptHeader(last, 1, volumeEnd, diskSectors, disk, tableCrc)});
      break;
    }
  }
  return pieces;
}

}  // namespace diskimage
