// Feeds the UDIF reader any image bytes, then decodes each chunk it accepts in memory. Whatever
// the reader accepts must hold: tables in disk order without gap or overlap, chunks covering
// their table, stored bytes inside the input.

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tools/diskimage/UdifDecoder.h"
#include "tools/diskimage/UdifReader.h"

namespace {
// What one input may decode, so that each run stays quick.
constexpr std::uint64_t kMaxChunk = 1 << 20;
constexpr std::uint64_t kBudget = 8 << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
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
      if (c.offset > size || c.length > size - c.offset) std::abort();
      sector += c.sectors;
      const std::uint64_t length = c.sectors * 512;
      if (!diskimage::ChunkDecoder::knows(c.kind) || length > kMaxChunk || length > budget) continue;
      budget -= length;
      out.resize(length);
      QString why;
      (void)decoder.decode(c.kind, reinterpret_cast<const char*>(data) + c.offset, c.length, out.data(), out.size(),
                           &why);
    }
    if (sector != table.firstSector + table.sectorCount) std::abort();
    next = sector;
  }
  return 0;
}
