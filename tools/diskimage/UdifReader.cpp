#include "tools/diskimage/UdifReader.h"

#include <QFile>
#include <QXmlStreamReader>

#include <algorithm>

#include "tools/diskimage/DiskFields.h"
#include "tools/diskimage/PartitionMap.h"
#include "tools/diskimage/UdifFormat.h"

namespace diskimage {
namespace {

using namespace udif;
// A property list describes a few block tables; anything far larger is no image of ours.
constexpr std::uint64_t kMaxPropertyListSize = 64ULL << 20;
constexpr std::uint64_t kMaxSectors = UINT64_MAX / kSectorSize;

UdifLayout bad(const QString& why) {
  UdifLayout layout;
  layout.status = UdifLayout::Status::Bad;
  layout.why = why;
  return layout;
}

// The data fork holds `forkLength` bytes from `forkStart` on in the file.
bool readTable(const QByteArray& t, std::uint64_t forkStart, std::uint64_t forkLength, UdifTable* table, QString* why) {
  if (t.size() < kTableHeaderSize) {
    *why = QStringLiteral("a block table is cut short");
    return false;
  }
  table->firstSector = be::get64(t, kTableFirstSectorField);
  table->sectorCount = be::get64(t, kTableSectorCountField);
  const std::uint64_t dataOffset = be::get64(t, kTableDataOffsetField);
  const std::uint64_t entries = be::get32(t, kTableEntryCountField);
  const QString where = QStringLiteral("the block table at sector %1").arg(table->firstSector);
  if (table->sectorCount > kMaxSectors || table->firstSector > kMaxSectors - table->sectorCount) {
    *why = where + QStringLiteral(" reaches past any disk");
    return false;
  }
  if (entries > static_cast<std::uint64_t>(t.size() - kTableHeaderSize) / kTableEntrySize) {
    *why = where + QStringLiteral(" lists more entries than it holds");
    return false;
  }
  std::uint64_t next = 0;  // the first sector of the stretch no entry has covered yet
  for (std::uint64_t i = 0; i < entries; ++i) {
    const qsizetype at = kTableHeaderSize + kTableEntrySize * static_cast<qsizetype>(i);
    UdifChunk c;
    c.kind = be::get32(t, at + kEntryKindField);
    if (c.kind == kLastEntry) break;
    if (c.kind == kCommentEntry) continue;
    const std::uint64_t sector = be::get64(t, at + kEntrySectorField);
    c.sectors = be::get64(t, at + kEntrySectorCountField);
    c.length = be::get64(t, at + kEntryLengthField);
    const std::uint64_t offset = be::get64(t, at + kEntryOffsetField);
    if (c.sectors == 0) continue;
    if (sector != next) {
      *why = where + (sector < next ? QStringLiteral(" has chunks that overlap at sector %1").arg(sector)
                                    : QStringLiteral(" leaves sectors %1 to %2 undescribed").arg(next).arg(sector));
      return false;
    }
    if (c.sectors > table->sectorCount - next) {
      *why = where + QStringLiteral(" has a chunk past its end");
      return false;
    }
    next += c.sectors;
    c.sector = table->firstSector + sector;
    if (isZeroRun(c.kind)) {
      c.length = 0;
    } else {
      // Stored bytes lie in the data fork; the sums are checked so that none can wrap.
      if (dataOffset > forkLength || offset > forkLength - dataOffset || c.length > forkLength - dataOffset - offset) {
        *why = where + QStringLiteral(" has a chunk stored past the end of the image");
        return false;
      }
      c.offset = forkStart + dataOffset + offset;
    }
    table->chunks.append(c);
  }
  if (next != table->sectorCount) {
    *why = where + QStringLiteral(" leaves sectors %1 to %2 undescribed").arg(next).arg(table->sectorCount);
    return false;
  }
  return true;
}

}  // namespace

UdifLayout readUdifLayout(QIODevice& image) {
  const qint64 fileSize = image.size();
  if (fileSize < kTrailerSize || !image.seek(fileSize - kTrailerSize)) return {};
  const QByteArray trailer = image.read(kTrailerSize);
  if (trailer.size() != kTrailerSize || !trailer.startsWith("koly")) return {};
  const auto size = static_cast<std::uint64_t>(fileSize);
  const std::uint64_t xmlOffset = be::get64(trailer, kPropertyListOffsetField);
  const std::uint64_t xmlLength = be::get64(trailer, kPropertyListLengthField);
  // Images that keep their tables in a resource fork alone are left to 7-Zip.
  if (xmlLength == 0) return {};
  if (xmlLength > kMaxPropertyListSize || xmlOffset > size || xmlLength > size - xmlOffset ||
      !image.seek(static_cast<qint64>(xmlOffset))) {
    return bad(QStringLiteral("its property list lies outside the image"));
  }
  const std::uint64_t forkStart = be::get64(trailer, kDataForkOffsetField);
  const std::uint64_t forkLength = be::get64(trailer, kDataForkLengthField);
  const std::uint64_t dataEnd = size - kTrailerSize;
  if (forkStart > dataEnd || forkLength > dataEnd - forkStart) {
    return bad(QStringLiteral("its data fork lies outside the image"));
  }

  UdifLayout layout;
  QXmlStreamReader xml(image.read(static_cast<qint64>(xmlLength)));
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("data")) continue;
    const QByteArray t = QByteArray::fromBase64(xml.readElementText().toLatin1());
    if (!t.startsWith("mish")) continue;  // other resources ride in the property list too
    UdifTable table;
    if (!readTable(t, forkStart, forkLength, &table, &layout.why)) return bad(layout.why);
    layout.tables.append(std::move(table));
  }
  if (xml.hasError()) return bad(QStringLiteral("its property list is not well-formed"));
  if (layout.tables.isEmpty()) return bad(QStringLiteral("it has no block table"));
  std::stable_sort(layout.tables.begin(), layout.tables.end(),
                   [](const UdifTable& a, const UdifTable& b) { return a.firstSector < b.firstSector; });
  std::uint64_t next = 0;
  for (const UdifTable& table : layout.tables) {
    if (table.firstSector != next) {
      return bad(
          table.firstSector < next
              ? QStringLiteral("its block tables overlap at sector %1").arg(table.firstSector)
              : QStringLiteral("its block tables leave sectors %1 to %2 undescribed").arg(next).arg(table.firstSector));
    }
    next = table.firstSector + table.sectorCount;
  }
  layout.status = UdifLayout::Status::Ok;
  return layout;
}

std::optional<std::uint64_t> udifDiskBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const UdifLayout layout = readUdifLayout(file);
  if (layout.status != UdifLayout::Status::Ok) return std::nullopt;
  return layout.diskSectors() * kSectorSize;
}

}  // namespace diskimage
