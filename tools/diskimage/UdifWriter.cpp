#include "tools/diskimage/UdifWriter.h"

#include <QFile>
#include <QSaveFile>
#include <QUuid>

#include <bzlib.h>
#include <zlib.h>

#include <algorithm>

#include "tools/diskimage/DiskFields.h"
#include "tools/diskimage/UdifFormat.h"

namespace diskimage {
namespace {

using be::put32;
using be::put64;

constexpr std::uint64_t kChunkSectors = 2048;  // 1 MiB
using udif::kTableHeaderSize;
using udif::kTableEntrySize;
using udif::kTrailerSize;
constexpr std::uint32_t kCrc32Checksum = 2;
using udif::kBzip2Chunk;
using udif::kFreeChunk;
using udif::kLastEntry;
using udif::kRawChunk;
using udif::kZeroFill;
using udif::kZlibChunk;

struct Entry {
  std::uint32_t type;
  std::uint64_t sector;  // within the piece
  std::uint64_t sectors;
  std::uint64_t offset;  // in the data fork
  std::uint64_t length;
};

bool compress(ChunkKind kind, const QByteArray& in, QByteArray* out) {
  switch (kind) {
    case ChunkKind::Raw: return false;
    case ChunkKind::Zlib: {
      uLongf length = ::compressBound(static_cast<uLong>(in.size()));
      out->resize(static_cast<qsizetype>(length));
      // Level 1, the Mac tool's own default: packages are made once and read often.
      return ::compress2(reinterpret_cast<Bytef*>(out->data()), &length,
                         reinterpret_cast<const Bytef*>(in.constData()), static_cast<uLong>(in.size()), 1) == Z_OK &&
             (out->resize(static_cast<qsizetype>(length)), true);
    }
    case ChunkKind::Bzip2: {
      auto length = static_cast<unsigned int>(in.size() + in.size() / 100 + 600);
      out->resize(length);
      return ::BZ2_bzBuffToBuffCompress(out->data(), &length, const_cast<char*>(in.constData()),
                                        static_cast<unsigned int>(in.size()), 9, 0, 0) == BZ_OK &&
             (out->resize(length), true);
  }
  }
  return false;
}

QByteArray blockTable(const DiskPiece& piece, const QList<Entry>& entries, std::uint32_t crc) {
  QByteArray t(kTableHeaderSize + kTableEntrySize * entries.size(), '\0');
  put32(t, 0, be::code("mish"));
  put32(t, 4, 1);
  put64(t, udif::kTableFirstSectorField, piece.firstSector);
  put64(t, udif::kTableSectorCountField, piece.sectorCount);
  put32(t, 32, static_cast<std::uint32_t>(kChunkSectors + 8));  // buffers a reader needs, in sectors
  put32(t, 36, static_cast<std::uint32_t>(piece.id));
  put32(t, 64, kCrc32Checksum);
  put32(t, 68, 32);
  put32(t, 72, crc);
  put32(t, udif::kTableEntryCountField, static_cast<std::uint32_t>(entries.size()));
  for (qsizetype i = 0; i < entries.size(); ++i) {
    const qsizetype at = kTableHeaderSize + kTableEntrySize * i;
    put32(t, at + udif::kEntryKindField, entries[i].type);
    put64(t, at + udif::kEntrySectorField, entries[i].sector);
    put64(t, at + udif::kEntrySectorCountField, entries[i].sectors);
    put64(t, at + udif::kEntryOffsetField, entries[i].offset);
    put64(t, at + udif::kEntryLengthField, entries[i].length);
  }
  return t;
}

QByteArray propertyList(const QList<DiskPiece>& pieces, const QList<QByteArray>& tables) {
  QByteArray xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n<dict>\n\t<key>resource-fork</key>\n\t<dict>\n\t\t<key>blkx</key>\n\t\t<array>\n";
  for (qsizetype i = 0; i < pieces.size(); ++i) {
    const QByteArray name = pieces[i].name.toHtmlEscaped().toUtf8();
    xml += "\t\t\t<dict>\n\t\t\t\t<key>Attributes</key>\n\t\t\t\t<string>0x0050</string>\n";
    xml += "\t\t\t\t<key>CFName</key>\n\t\t\t\t<string>" + name + "</string>\n";
    xml += "\t\t\t\t<key>Data</key>\n\t\t\t\t<data>\n\t\t\t\t" + tables[i].toBase64() + "\n\t\t\t\t</data>\n";
    xml += "\t\t\t\t<key>ID</key>\n\t\t\t\t<string>" + QByteArray::number(pieces[i].id) + "</string>\n";
    xml += "\t\t\t\t<key>Name</key>\n\t\t\t\t<string>" + name + "</string>\n\t\t\t</dict>\n";
  }
  xml += "\t\t</array>\n\t</dict>\n</dict>\n</plist>\n";
  return xml;
}

class ImageOut {
 public:
  explicit ImageOut(QSaveFile& file) : file_(file) {}
  bool write(const QByteArray& b) {
    crc_ = crc32Of(b, crc_);
    written_ += static_cast<std::uint64_t>(b.size());
    return file_.write(b) == b.size();
  }
  std::uint64_t written() const { return written_; }
  std::uint32_t crc() const { return crc_; }

 private:
  QSaveFile& file_;
  std::uint64_t written_ = 0;
  std::uint32_t crc_ = 0;
};

}  // namespace

bool writeUdifImage(const QList<DiskPiece>& pieces, QFile& volume, ChunkKind chunks,
                    const QString& imagePath, QString* why) {
  QSaveFile file(imagePath);
  if (!file.open(QIODevice::WriteOnly)) {
    *why = imagePath + QStringLiteral(": ") + file.errorString();
    return false;
  }
  ImageOut out(file);
  QList<QByteArray> tables;
  std::uint32_t masterCrc = 0;
  QByteArray packed;
  for (const DiskPiece& piece : pieces) {
    QList<Entry> entries;
    std::uint32_t pieceCrc = 0;
    if (piece.kind == DiskPiece::Kind::Free) {
      entries.append({kFreeChunk, 0, piece.sectorCount, out.written(), 0});
    } else {
      if (piece.kind == DiskPiece::Kind::Volume && !volume.seek(0)) {
        *why = volume.errorString();
        return false;
      }
      for (std::uint64_t sector = 0; sector < piece.sectorCount; sector += kChunkSectors) {
        const std::uint64_t sectors = std::min(kChunkSectors, piece.sectorCount - sector);
        const auto bytes = static_cast<qsizetype>(sectors * kSectorSize);
        QByteArray raw = piece.kind == DiskPiece::Kind::Bytes
                             ? piece.bytes.mid(static_cast<qsizetype>(sector * kSectorSize), bytes)
                             : volume.read(bytes);
        if (raw.size() != bytes) {
          *why = QStringLiteral("the volume could not be read back");
          return false;
        }
        pieceCrc = crc32Of(raw, pieceCrc);
        if (std::all_of(raw.cbegin(), raw.cend(), [](char c) { return c == 0; })) {
          entries.append({kZeroFill, sector, sectors, out.written(), 0});
          continue;
        }
        const bool shrank = compress(chunks, raw, &packed) && packed.size() < raw.size();
        const std::uint32_t type = !shrank ? kRawChunk : chunks == ChunkKind::Zlib ? kZlibChunk : kBzip2Chunk;
        const QByteArray& stored = shrank ? packed : raw;
        entries.append({type, sector, sectors, out.written(), static_cast<std::uint64_t>(stored.size())});
        if (!out.write(stored)) {
          *why = imagePath + QStringLiteral(": ") + file.errorString();
          return false;
        }
      }
    }
    entries.append({kLastEntry, piece.sectorCount, 0, out.written(), 0});
    tables.append(blockTable(piece, entries, pieceCrc));
    QByteArray crcBytes(4, '\0');
    put32(crcBytes, 0, pieceCrc);
    masterCrc = crc32Of(crcBytes, masterCrc);
  }
  const std::uint64_t dataLength = out.written();
  const std::uint32_t dataCrc = out.crc();
  const QByteArray xml = propertyList(pieces, tables);

  QByteArray trailer(kTrailerSize, '\0');
  put32(trailer, 0, be::code("koly"));
  put32(trailer, 4, 4);
  put32(trailer, 8, kTrailerSize);
  put32(trailer, 12, 1);  // flattened
  put64(trailer, udif::kDataForkLengthField, dataLength);
  put32(trailer, 56, 1);  // segment 1 of 1
  put32(trailer, 60, 1);
  trailer.replace(64, 16, QUuid::createUuid().toRfc4122());
  put32(trailer, 80, kCrc32Checksum);
  put32(trailer, 84, 32);
  put32(trailer, 88, dataCrc);
  put64(trailer, udif::kPropertyListOffsetField, dataLength);
  put64(trailer, udif::kPropertyListLengthField, static_cast<std::uint64_t>(xml.size()));
  put32(trailer, 352, kCrc32Checksum);
  put32(trailer, 356, 32);
  put32(trailer, 360, masterCrc);
  put32(trailer, 488, 1);  // a device image
  put64(trailer, 492, pieces.isEmpty() ? 0 : pieces.back().firstSector + pieces.back().sectorCount);  // the disk's sectors
  if (!out.write(xml) || !out.write(trailer) || !file.commit()) {
    *why = imagePath + QStringLiteral(": ") + file.errorString();
    return false;
  }
  return true;
}

}  // namespace diskimage
