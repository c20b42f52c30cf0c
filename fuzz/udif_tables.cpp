// Feeds the UDIF reader any image bytes, then decodes each chunk it accepts in memory. Whatever
// the reader accepts must hold: tables in disk order without gap or overlap, chunks covering
// their table, stored bytes inside the image.

#include <QBuffer>
#include <QByteArray>
#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tools/diskimage/PartitionMap.h"
#include "tools/diskimage/UdifDecoder.h"
#include "tools/diskimage/UdifFormat.h"
#include "tools/diskimage/UdifReader.h"

namespace {

using namespace diskimage::udif;

// What one input may decode, so that each run stays quick.
constexpr std::uint64_t kMaxChunk = 1 << 20;
constexpr std::uint64_t kBudget = 8 << 20;

// An input that starts with 'T' is one block table and a data fork ('T', the table's length in
// two bytes, the table, the fork), put in an image here: that way the table's binary fields are
// mutated directly rather than through the property list's base64.
QByteArray imageOf(const std::uint8_t* data, std::size_t size) {
  const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (size < 3 || data[0] != 'T') return input;
  const qsizetype tableLength = std::min<qsizetype>((data[1] << 8) | data[2], input.size() - 3);
  const QByteArray table = input.mid(3, tableLength);
  QByteArray image = input.mid(3 + tableLength);
  const auto forkLength = static_cast<quint64>(image.size());
  image += "<plist><dict><key>resource-fork</key><dict><key>blkx</key><array><dict><key>Data</key><data>" +
           table.toBase64() + "</data></dict></array></dict></dict></plist>";
  QByteArray koly(kTrailerSize, '\0');
  koly.replace(0, 4, "koly");
  qToBigEndian<quint64>(forkLength, koly.data() + kDataForkLengthField);
  qToBigEndian<quint64>(forkLength, koly.data() + kPropertyListOffsetField);
  qToBigEndian<quint64>(static_cast<quint64>(image.size()) - forkLength, koly.data() + kPropertyListLengthField);
  return image + koly;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QByteArray bytes = imageOf(data, size);
  const char* image = bytes.constData();
  const auto imageSize = static_cast<std::uint64_t>(bytes.size());
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  const diskimage::UdifLayout layout = diskimage::readUdifLayout(buffer);
  if (layout.status != diskimage::UdifLayout::Status::Ok) return 0;

  diskimage::ChunkDecoder decoder;
  std::vector<char> out;
  std::uint64_t budget = kBudget;
  std::uint64_t next = 0;
  for (const diskimage::UdifTable& table : layout.tables) {
    if (table.firstSector != next) std::abort();
    std::uint64_t sector = table.firstSector;
    for (const diskimage::UdifChunk& c : table.chunks) {
      if (c.sector != sector || c.sectors == 0) std::abort();
      if (c.offset > imageSize || c.length > imageSize - c.offset) std::abort();
      sector += c.sectors;
      const std::uint64_t length = c.sectors * diskimage::kSectorSize;
      if (!diskimage::ChunkDecoder::knows(c.kind) || length > kMaxChunk || length > budget) continue;
      budget -= length;
      out.resize(length);
      QString why;
      (void)decoder.decode(c.kind, image + c.offset, c.length, out.data(), out.size(), &why);
    }
    if (sector != table.firstSector + table.sectorCount) std::abort();
    next = sector;
  }
  return 0;
}
