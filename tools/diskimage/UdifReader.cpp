#include "tools/diskimage/UdifReader.h"

#include <QFile>
#include <QXmlStreamReader>

#include "tools/diskimage/DiskFields.h"
#include "tools/diskimage/PartitionMap.h"
#include "tools/diskimage/UdifFormat.h"

namespace diskimage {
namespace {

using udif::kTrailerSize;
// A property list describes a few block tables; anything far larger is no image of ours.
constexpr std::uint64_t kMaxPropertyListSize = 64ULL << 20;

}  // namespace

std::optional<std::uint64_t> udifDiskBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() < kTrailerSize || !file.seek(file.size() - kTrailerSize)) {
    return std::nullopt;
  }
  const QByteArray trailer = file.read(kTrailerSize);
  if (trailer.size() != kTrailerSize || !trailer.startsWith("koly")) return std::nullopt;
  const std::uint64_t xmlOffset = be::get64(trailer, udif::kPropertyListOffsetField);
  const std::uint64_t xmlLength = be::get64(trailer, udif::kPropertyListLengthField);
  const auto size = static_cast<std::uint64_t>(file.size());
  if (xmlLength == 0 || xmlLength > kMaxPropertyListSize || xmlOffset > size || xmlLength > size - xmlOffset ||
      !file.seek(static_cast<qint64>(xmlOffset))) {
    return std::nullopt;
  }
  QXmlStreamReader xml(file.read(static_cast<qint64>(xmlLength)));
  std::uint64_t sectors = 0;
  bool any = false;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("data")) continue;
    // Block tables ("mish") carry the sector count of their stretch of the disk.
    const QByteArray table = QByteArray::fromBase64(xml.readElementText().toLatin1());
    if (table.size() < 24 || !table.startsWith("mish")) continue;
    const std::uint64_t count = be::get64(table, udif::kTableSectorCountField);
    if (count > UINT64_MAX / kSectorSize - sectors) return UINT64_MAX;
    sectors += count;
    any = true;
  }
  if (xml.hasError() || !any) return std::nullopt;
  return sectors * kSectorSize;
}

}  // namespace diskimage
