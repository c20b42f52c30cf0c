#include <bzlib.h>
#include <gtest/gtest.h>
#include <lzma.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <array>
#include <functional>
#include <optional>
#include <utility>

#include "platform/CommandRunner.h"
#include "support/ChildProcess.h"
#include "support/DiskImages.h"
#include "support/TestFiles.h"
#include "tools/diskimage/DiskImage.h"
#include "tools/diskimage/HfsPlusWriter.h"
#include "tools/diskimage/UdifDecoder.h"
#include "tools/diskimage/UdifFormat.h"
#include "tools/diskimage/UdifReader.h"

namespace {

using namespace diskimage::udif;
using diskimage::UdifDecoding;
using testing_support::kTimeout;
using testing_support::writeFile;

constexpr int kSector = 512;

// A small Apple Data Compression encoder, enough to give the decoder literal runs and both
// kinds of references (near ones of the two-byte form, far ones and runs of the three-byte form).
QByteArray adcEncode(const QByteArray& in) {
  QByteArray out;
  QByteArray literal;
  const auto flush = [&] {
    while (!literal.isEmpty()) {
      const qsizetype n = std::min<qsizetype>(128, literal.size());
      out.append(static_cast<char>(0x80 | (n - 1)));
      out.append(literal.left(n));
      literal.remove(0, n);
    }
  };
  for (qsizetype i = 0; i < in.size();) {
    qsizetype bestLength = 0;
    qsizetype bestDistance = 0;
    for (const qsizetype distance : {1, 2, 251, 700, 5000, 65536}) {
      if (distance > i) continue;
      qsizetype length = 0;
      while (length < 67 && i + length < in.size() && in[i + length] == in[i + length - distance]) ++length;
      if (length > bestLength) {
        bestLength = length;
        bestDistance = distance;
      }
    }
    if (bestLength >= 4 || (bestLength == 3 && bestDistance <= 1024)) {
      flush();
      const qsizetype d = bestDistance - 1;
      if (bestDistance <= 1024 && bestLength <= 18) {
        out.append(static_cast<char>(((bestLength - 3) << 2) | (d >> 8)));
        out.append(static_cast<char>(d & 0xFF));
      } else {
        out.append(static_cast<char>(0x40 | (bestLength - 4)));
        out.append(static_cast<char>(d >> 8));
        out.append(static_cast<char>(d & 0xFF));
      }
      i += bestLength;
    } else {
      literal.append(in[i++]);
    }
  }
  flush();
  return out;
}

QByteArray encode(std::uint32_t kind, const QByteArray& raw) {
  switch (kind) {
    case kZlibChunk: {
      uLongf length = ::compressBound(static_cast<uLong>(raw.size()));
      QByteArray out(static_cast<qsizetype>(length), '\0');
      ::compress2(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(raw.constData()),
                  static_cast<uLong>(raw.size()), 6);
      return out.left(static_cast<qsizetype>(length));
    }
    case kBzip2Chunk: {
      auto length = static_cast<unsigned int>(raw.size() + raw.size() / 100 + 600);
      QByteArray out(length, '\0');
      ::BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(raw.constData()),
                                 static_cast<unsigned int>(raw.size()), 9, 0, 0);
      return out.left(length);
    }
    case kLzmaChunk: {
      QByteArray out(static_cast<qsizetype>(lzma_stream_buffer_bound(static_cast<size_t>(raw.size()))), '\0');
      size_t length = 0;
      lzma_easy_buffer_encode(6, LZMA_CHECK_CRC32, nullptr, reinterpret_cast<const uint8_t*>(raw.constData()),
                              static_cast<size_t>(raw.size()), reinterpret_cast<uint8_t*>(out.data()), &length,
                              static_cast<size_t>(out.size()));
      return out.left(static_cast<qsizetype>(length));
    }
    case kAdcChunk:
      return adcEncode(raw);
    case kZeroFill:
    case kFreeChunk:
      return {};
    default:
      return raw;
  }
}

// A UDIF image put together entry by entry, so that a test may lay out its tables as it likes
// (well or badly). Here an entry's sector lies within its table and its offset within the data
// fork, as the format stores them.
using Entry = diskimage::UdifChunk;
struct Table {
  std::uint64_t firstSector = 0;
  std::uint64_t sectorCount = 0;
  QList<Entry> entries;
};
struct Assembled {
  QByteArray fork;
  QList<Table> tables;

  // Appends a table for `disk`, cut into chunks of `chunkSectors`, each stored as `kindOf`
  // says for its index.
  void addTable(const QByteArray& disk, std::uint64_t chunkSectors,
                const std::function<std::uint32_t(qsizetype)>& kindOf) {
    Table t;
    t.firstSector = tables.isEmpty() ? 0 : tables.back().firstSector + tables.back().sectorCount;
    t.sectorCount = static_cast<std::uint64_t>(disk.size()) / kSector;
    for (std::uint64_t s = 0; s < t.sectorCount; s += chunkSectors) {
      const std::uint64_t n = std::min(chunkSectors, t.sectorCount - s);
      const std::uint32_t kind = kindOf(t.entries.size());
      const QByteArray stored =
          encode(kind, disk.mid(static_cast<qsizetype>(s * kSector), static_cast<qsizetype>(n * kSector)));
      t.entries.append(
          {kind, s, n, static_cast<std::uint64_t>(fork.size()), static_cast<std::uint64_t>(stored.size())});
      fork.append(stored);
    }
    tables.append(t);
  }

  [[nodiscard]] QByteArray bytes() const {
    const auto put32 = [](QByteArray& b, qsizetype at, std::uint32_t v) { qToBigEndian<quint32>(v, b.data() + at); };
    const auto put64 = [](QByteArray& b, qsizetype at, std::uint64_t v) { qToBigEndian<quint64>(v, b.data() + at); };
    QByteArray xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n<key>resource-fork</key>\n"
        "<dict>\n<key>blkx</key>\n<array>\n";
    for (qsizetype i = 0; i < tables.size(); ++i) {
      const Table& t = tables[i];
      QByteArray m(kTableHeaderSize + kTableEntrySize * (t.entries.size() + 1), '\0');
      put32(m, 0, 0x6D697368);  // "mish"
      put32(m, 4, 1);
      put64(m, kTableFirstSectorField, t.firstSector);
      put64(m, kTableSectorCountField, t.sectorCount);
      put32(m, kTableEntryCountField, static_cast<std::uint32_t>(t.entries.size() + 1));
      for (qsizetype e = 0; e <= t.entries.size(); ++e) {
        const Entry x = e < t.entries.size() ? t.entries[e] : Entry{kLastEntry, t.sectorCount, 0, 0, 0};
        const qsizetype at = kTableHeaderSize + kTableEntrySize * e;
        put32(m, at + kEntryKindField, x.kind);
        put64(m, at + kEntrySectorField, x.sector);
        put64(m, at + kEntrySectorCountField, x.sectors);
        put64(m, at + kEntryOffsetField, x.offset);
        put64(m, at + kEntryLengthField, x.length);
      }
      const QByteArray name = "piece " + QByteArray::number(i);
      xml += "<dict>\n<key>Attributes</key>\n<string>0x0050</string>\n<key>CFName</key>\n<string>" + name +
             "</string>\n<key>Data</key>\n<data>" + m.toBase64() + "</data>\n<key>ID</key>\n<string>" +
             QByteArray::number(i) + "</string>\n<key>Name</key>\n<string>" + name + "</string>\n</dict>\n";
    }
    xml += "</array>\n</dict>\n</dict>\n</plist>\n";
    QByteArray koly(kTrailerSize, '\0');
    put32(koly, 0, 0x6B6F6C79);  // "koly"
    put32(koly, 4, 4);
    put32(koly, 8, kTrailerSize);
    put32(koly, 12, 1);
    put64(koly, kDataForkLengthField, static_cast<std::uint64_t>(fork.size()));
    put32(koly, 56, 1);
    put32(koly, 60, 1);
    put64(koly, kPropertyListOffsetField, static_cast<std::uint64_t>(fork.size()));
    put64(koly, kPropertyListLengthField, static_cast<std::uint64_t>(xml.size()));
    put32(koly, 488, 1);
    put64(koly, 492, tables.isEmpty() ? 0 : tables.back().firstSector + tables.back().sectorCount);
    return fork + xml + koly;
  }
};

// Firmware-like bytes: a stretch that repeats with a period of 251 bytes, one that does not
// compress, and zeros.
QByteArray firmwareBytes() {
  return testing_support::firmwareBytes(300 * 1024, 300 * 1024) + QByteArray(200 * 1024, '\0');
}

class UdifDecoder : public testing_support::AttachRootTest {
 protected:
  void SetUp() override {
    // An HFS+ volume holding the firmware, as the disk of the images assembled here.
    writeFile(dir_.filePath(QStringLiteral("source/QUILL.FIR")), firmwareBytes());
    QFile volume(dir_.filePath(QStringLiteral("volume.hfs")));
    ASSERT_TRUE(volume.open(QIODevice::ReadWrite));
    QString why;
    ASSERT_TRUE(
        diskimage::writeHfsPlusVolume(dir_.filePath(QStringLiteral("source")), QStringLiteral("Tavo"), volume, &why))
        << why.toStdString();
    volume.close();
    volume_ = testing_support::readFile(volume.fileName());
  }
  QString path(const QString& name) const { return dir_.filePath(name); }
  // The volume in one table of 128-sector chunks, their kinds in turn from `kinds`.
  Assembled volumeImage(const QList<std::uint32_t>& kinds) const {
    Assembled a;
    a.addTable(volume_, 128, [&](qsizetype i) { return kinds[i % kinds.size()]; });
    return a;
  }
  static diskimage::UdifLayout layoutOf(const QString& image) {
    QFile f(image);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return diskimage::readUdifLayout(f);
  }
  // Decodes the whole disk of `image` with our decoder.
  static UdifDecoding decodeDisk(const QString& image, const QString& target, unsigned threads = 0) {
    const diskimage::UdifLayout layout = layoutOf(image);
    if (layout.status != diskimage::UdifLayout::Status::Ok) return {UdifDecoding::Status::Failed, layout.why};
    return diskimage::decodeUdifTables(QFile::encodeName(image), layout, 0, layout.tables.size() - 1,
                                       QFile::encodeName(target), threads);
  }

  QByteArray volume_;
};

// Every kind of image we make or meet, decoded by us and by 7-Zip alone: the same disk, byte for
// byte, table by table (7-Zip writes each table's stretch to a file "<index>.<name>").
TEST_F(UdifDecoder, DecodesEveryImageAsSevenZipDoes) {
  using diskimage::ChunkKind;
  using diskimage::PartitionMapKind;
  struct Case {
    const char* name;
    std::function<void(const QString&)> make;
  };
  const auto made = [&](PartitionMapKind map, ChunkKind chunks) {
    return [=, this](const QString& image) {
      testing_support::makeImage(image, {{QStringLiteral("QUILL.FIR"), firmwareBytes()}}, {map, chunks, {}, false});
    };
  };
  const auto assembled = [&](const QList<std::uint32_t>& kinds) {
    return [=, this](const QString& image) { writeFile(image, volumeImage(kinds).bytes()); };
  };
  QList<Case> cases = {
      {"ADC", assembled({kAdcChunk})},
      {"LZMA", assembled({kLzmaChunk})},
      {"every kind in turn, zero and free runs among them",
       assembled({kAdcChunk, kZlibChunk, kRawChunk, kBzip2Chunk, kLzmaChunk, kZeroFill, kFreeChunk})},
  };
  // What our writer makes: every partition map with every kind of chunk.
  for (const PartitionMapKind map : {PartitionMapKind::Gpt, PartitionMapKind::Apple, PartitionMapKind::None}) {
    for (const ChunkKind chunks : {ChunkKind::Zlib, ChunkKind::Bzip2, ChunkKind::Raw}) {
      cases.append({"our writer's", made(map, chunks)});
    }
  }
  const QString image = path(QStringLiteral("image.dmg"));
  const QString disk = path(QStringLiteral("disk.img"));
  for (qsizetype i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << c.name << " #" << i);
    QFile::remove(image);
    c.make(image);
    const diskimage::UdifLayout layout = layoutOf(image);
    ASSERT_EQ(layout.status, diskimage::UdifLayout::Status::Ok) << layout.why.toStdString();
    const UdifDecoding ours = decodeDisk(image, disk);
    ASSERT_EQ(ours.status, UdifDecoding::Status::Decoded) << ours.why.toStdString();
    const QByteArray decoded = testing_support::readFile(disk);
    ASSERT_EQ(static_cast<std::uint64_t>(decoded.size()), layout.diskSectors() * kSector);

    QTemporaryDir sevenZip;
    ASSERT_TRUE(platform::runCommand(diskimage::sevenZipPath(),
                                     {QStringLiteral("x"), QStringLiteral("-tdmg"), QStringLiteral("-y"),
                                      QStringLiteral("-bso0"), QStringLiteral("-o") + sevenZip.path(), image},
                                     kTimeout)
                    .succeeded());
    const QStringList pieces = QDir(sevenZip.path()).entryList(QDir::Files);
    ASSERT_EQ(pieces.size(), layout.tables.size()) << pieces.join(u' ').toStdString();
    for (qsizetype t = 0; t < layout.tables.size(); ++t) {
      const QStringList named = pieces.filter(QRegularExpression(QStringLiteral("^%1\\.").arg(t)));
      ASSERT_EQ(named.size(), 1);
      const QByteArray stretch = decoded.mid(static_cast<qsizetype>(layout.tables[t].firstSector * kSector),
                                             static_cast<qsizetype>(layout.tables[t].sectorCount * kSector));
      EXPECT_TRUE(testing_support::readFile(QDir(sevenZip.path()).filePath(named[0])) == stretch)
          << named[0].toStdString();
    }
  }
  // The zero runs stay holes: the decoded disk takes less room than its size.
  writeFile(image, volumeImage({kZeroFill, kZlibChunk}).bytes());
  ASSERT_EQ(decodeDisk(image, disk).status, UdifDecoding::Status::Decoded);
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(disk).constData(), &st), 0);
  EXPECT_LT(st.st_blocks * 512, st.st_size * 3 / 4);
}

// Damaged images fail (or, where we have no decoder, are left to 7-Zip) before anything is left
// at the target; through attach, each fails cleanly with nothing in the attach root.
TEST_F(UdifDecoder, BadImageTable) {
  using Status = UdifDecoding::Status;
  struct Case {
    const char* name;
    QList<std::uint32_t> kinds;
    std::function<void(Assembled&)> spoil;
    Status status = Status::Failed;
  };
  const auto chunk = [](Assembled& a, qsizetype i) -> Entry& { return a.tables[0].entries[i]; };
  // The stored bytes of chunk `i` replaced by what `change` makes of them.
  const auto storeAgain = [](qsizetype i, const std::function<QByteArray(QByteArray)>& change) {
    return [=](Assembled& a) {
      Entry& e = a.tables[0].entries[i];
      const QByteArray stored = change(a.fork.mid(static_cast<qsizetype>(e.offset), static_cast<qsizetype>(e.length)));
      e.offset = static_cast<std::uint64_t>(a.fork.size());
      e.length = static_cast<std::uint64_t>(stored.size());
      a.fork.append(stored);
    };
  };
  const auto cut = [](QByteArray b) { return b.left(b.size() / 2); };
  const auto flip = [](QByteArray b) {
    for (qsizetype k = b.size() / 3; k < b.size() * 2 / 3; k += 7) b[k] = static_cast<char>(b[k] ^ 0x5A);
    return b;
  };
  // Chunk 3 decoded holds one sector more, or one fewer, than its table says.
  const auto lengthOff = [&](std::uint32_t kind, int sectors) {
    return [=, this](Assembled& a) {
      Entry& e = a.tables[0].entries[3];
      const QByteArray raw = volume_.mid(static_cast<qsizetype>(e.sector * kSector),
                                         static_cast<qsizetype>((static_cast<int>(e.sectors) + sectors) * kSector));
      const QByteArray stored = encode(kind, raw);
      e.offset = static_cast<std::uint64_t>(a.fork.size());
      e.length = static_cast<std::uint64_t>(stored.size());
      a.fork.append(stored);
    };
  };
  const QList<std::uint32_t> zlib{kZlibChunk};
  const Case cases[] = {
      {"chunks that overlap", zlib, [&](Assembled& a) { chunk(a, 2).sector -= 1; }},
      {"a gap between chunks", zlib, [&](Assembled& a) { chunk(a, 2).sector += 1; }},
      {"a chunk past its table's end", zlib,
       [&](Assembled& a) { chunk(a, a.tables[0].entries.size() - 1).sectors += 1; }},
      {"a table that stops short", zlib, [&](Assembled& a) { a.tables[0].sectorCount += 1; }},
      {"tables that overlap", zlib,
       [&](Assembled& a) {
         a.tables.append({a.tables[0].sectorCount - 1, 1, {{kZeroFill, 0, 1, 0, 0}}});
       }},
      {"tables that leave a gap", zlib,
       [&](Assembled& a) {
         a.tables.append({a.tables[0].sectorCount + 8, 1, {{kZeroFill, 0, 1, 0, 0}}});
       }},
      {"a disk that does not start at its first sector", zlib, [&](Assembled& a) { a.tables[0].firstSector = 4; }},
      {"a chunk stored past the end of the file", zlib,
       [&](Assembled& a) { chunk(a, 1).offset = a.fork.size() + 4096; }},
      {"a chunk whose stored length runs past the file", zlib, [&](Assembled& a) { chunk(a, 1).length = 1ULL << 62; }},
      {"an offset that wraps around", zlib, [&](Assembled& a) { chunk(a, 1).offset = ~0ULL - 8; }},
      {"a chunk claiming far more stored bytes than it can need",
       {kRawChunk, kZlibChunk},
       [&](Assembled& a) {
         chunk(a, 1).offset = 0;
         chunk(a, 1).length = static_cast<std::uint64_t>(a.fork.size());
       }},
      {"a volume far larger than the image", zlib,
       [&](Assembled& a) {
         a.tables[0].entries.append({kZeroFill, a.tables[0].sectorCount, 1ULL << 40, 0, 0});
         a.tables[0].sectorCount += 1ULL << 40;
       }},
      {"a table past any disk", zlib,
       [&](Assembled& a) {
         a.tables.append({a.tables[0].sectorCount, ~0ULL - 4, {{kZeroFill, 0, ~0ULL - 4, 0, 0}}});
       }},
      {"truncated zlib", zlib, storeAgain(4, cut)},
      {"corrupt zlib", zlib, storeAgain(4, flip)},
      {"truncated bzip2", {kBzip2Chunk}, storeAgain(4, cut)},
      {"corrupt bzip2", {kBzip2Chunk}, storeAgain(4, flip)},
      {"truncated LZMA", {kLzmaChunk}, storeAgain(4, cut)},
      {"corrupt LZMA", {kLzmaChunk}, storeAgain(4, flip)},
      {"truncated ADC", {kAdcChunk}, storeAgain(4, cut)},
      {"ADC reaching before the chunk",
       {kAdcChunk},
       storeAgain(4, [](QByteArray b) { return QByteArray("\x40\x00\x10", 3) + b; })},
      {"truncated raw", {kRawChunk}, storeAgain(4, cut)},
      {"zlib one sector long", zlib, lengthOff(kZlibChunk, 1)},
      {"zlib one sector short", zlib, lengthOff(kZlibChunk, -1)},
      {"bzip2 one sector long", {kBzip2Chunk}, lengthOff(kBzip2Chunk, 1)},
      {"LZMA one sector short", {kLzmaChunk}, lengthOff(kLzmaChunk, -1)},
      {"ADC one sector long", {kAdcChunk}, lengthOff(kAdcChunk, 1)},
      {"LZFSE chunks", zlib, [&](Assembled& a) { chunk(a, 4).kind = kLzfseChunk; }, Status::LeftTo7Zip},
      {"a kind nobody knows", zlib, [&](Assembled& a) { chunk(a, 4).kind = 0x80000042; }, Status::LeftTo7Zip},
  };
  const QString image = path(QStringLiteral("TavoQuill.dmg"));
  const QString target = path(QStringLiteral("decoded.hfs"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Assembled a = volumeImage(c.kinds);
    c.spoil(a);
    writeFile(image, a.bytes());
    const UdifDecoding decoded =
        diskimage::decodeUdifVolume(QFile::encodeName(image), QFile::encodeName(target), 64ULL << 20);
    EXPECT_EQ(decoded.status, c.status) << decoded.why.toStdString();
    EXPECT_FALSE(QFileInfo::exists(target));
    const diskimage::Outcome attached = diskimage::attach(image, root(), kTimeout);
    EXPECT_FALSE(attached.ok) << attached.line.toStdString();
    EXPECT_TRUE(attached.line.startsWith(QStringLiteral("diskimage: attach failed: "))) << attached.line.toStdString();
    EXPECT_TRUE(rootEntries().isEmpty()) << rootEntries().join(u' ').toStdString();
  }
}

// Images of every kind we decode attach to the firmware file; 7-Zip then reads the decoded
// volume, never the image, and the volume is gone afterwards.
TEST_F(UdifDecoder, AttachHandsSevenZipThePlainVolume) {
  const QString log = path(QStringLiteral("7zz.log"));
  const QString wrapper = path(QStringLiteral("7zz"));
  writeFile(wrapper, QByteArray::fromStdString("#!/bin/sh\necho \"$@\" >> " + testing_support::quoted(log) + "\nexec " +
                                               testing_support::quoted(diskimage::sevenZipPath()) + " \"$@\"\n"));
  ASSERT_TRUE(QFile::setPermissions(wrapper, QFile::permissions(wrapper) | QFileDevice::ExeOwner));
  const testing_support::ScopedEnvironment sevenZip("RAVLIO_7ZZ", wrapper);
  const QString image = path(QStringLiteral("TavoQuill.dmg"));
  // A volume in one raw chunk, larger than any compressed chunk we decode.
  const QByteArray large = testing_support::firmwareBytes(1 << 20, 9 << 20);
  writeFile(path(QStringLiteral("large/QUILL.FIR")), large);
  QFile largeVolume(path(QStringLiteral("large.hfs")));
  QString why;
  ASSERT_TRUE(largeVolume.open(QIODevice::ReadWrite) &&
              diskimage::writeHfsPlusVolume(path(QStringLiteral("large")), QStringLiteral("Tavo"), largeVolume, &why))
      << why.toStdString();
  largeVolume.close();
  Assembled oneRawChunk;
  const QByteArray largeBytes = testing_support::readFile(largeVolume.fileName());
  oneRawChunk.addTable(largeBytes, static_cast<std::uint64_t>(largeBytes.size()) / kSector,
                       [](qsizetype) { return kRawChunk; });
  const QList<std::pair<Assembled, QByteArray>> cases = {
      {volumeImage({kZlibChunk}), firmwareBytes()},
      {volumeImage({kBzip2Chunk}), firmwareBytes()},
      {volumeImage({kAdcChunk}), firmwareBytes()},
      {volumeImage({kLzmaChunk}), firmwareBytes()},
      {volumeImage({kRawChunk, kAdcChunk, kZlibChunk}), firmwareBytes()},
      {oneRawChunk, large},
  };
  for (qsizetype i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    writeFile(image, cases[i].first.bytes());
    QFile::remove(log);
    const diskimage::Outcome attached = diskimage::attach(image, root(), kTimeout);
    ASSERT_TRUE(attached.ok) << attached.line.toStdString();
    EXPECT_TRUE(testing_support::readFile(attached.line + QStringLiteral("/QUILL.FIR")) == cases[i].second);
    const QByteArray calls = testing_support::readFile(log);
    EXPECT_TRUE(calls.contains(" -thfs -- ") && !calls.contains(QFile::encodeName(image))) << calls.toStdString();
    EXPECT_EQ(volumes(), QStringList{QStringLiteral("TavoQuill")});  // the decoded volume is gone
    EXPECT_TRUE(diskimage::detach(attached.line, root()).ok);
  }
  // Hard links are read from the decoded volume's catalog too, not from the image.
  testing_support::makeImage(image, [](const QDir& d) {
    writeFile(d.filePath(QStringLiteral("QUILL.FIR")), firmwareBytes());
    ASSERT_EQ(::link(QFile::encodeName(d.filePath(QStringLiteral("QUILL.FIR"))).constData(),
                     QFile::encodeName(d.filePath(QStringLiteral("again.fir"))).constData()),
              0);
  });
  QFile::remove(log);
  const diskimage::Outcome linked = diskimage::attach(image, root(), kTimeout);
  ASSERT_TRUE(linked.ok) << linked.line.toStdString();
  EXPECT_TRUE(testing_support::readFile(linked.line + QStringLiteral("/again.fir")) == firmwareBytes());
  EXPECT_FALSE(testing_support::readFile(log).contains(QFile::encodeName(image)))
      << testing_support::readFile(log).toStdString();
  EXPECT_TRUE(diskimage::detach(linked.line, root()).ok);

  // A kind we do not decode: 7-Zip gets the image itself, as it always did.
  Assembled a = volumeImage({kZlibChunk});
  a.tables[0].entries[4].kind = kLzfseChunk;
  writeFile(image, a.bytes());
  QFile::remove(log);
  EXPECT_FALSE(diskimage::attach(image, root(), kTimeout).ok);
  EXPECT_TRUE(testing_support::readFile(log).contains(QFile::encodeName(image)));
  EXPECT_TRUE(rootEntries().isEmpty()) << rootEntries().join(u' ').toStdString();

  // So does a package whose files fit what an attach may write, but not beside the decoded
  // volume: the decoded volume counts against that bound.
  testing_support::makeImage(image, {{QStringLiteral("QUILL.FIR"), QByteArray(40 << 20, 'f')}},
                             {diskimage::PartitionMapKind::None, diskimage::ChunkKind::Zlib, {}, false});
  const qint64 bound = diskimage::extractionBound(QFileInfo(image).size());
  ASSERT_LT(40 << 20, bound);
  ASSERT_GT(80 << 20, bound);
  QFile::remove(log);
  const diskimage::Outcome dense = diskimage::attach(image, root(), kTimeout);
  ASSERT_TRUE(dense.ok) << dense.line.toStdString();
  EXPECT_EQ(QFileInfo(dense.line + QStringLiteral("/QUILL.FIR")).size(), 40 << 20);
  EXPECT_TRUE(testing_support::readFile(log).contains(QFile::encodeName(image)));
  EXPECT_TRUE(diskimage::detach(dense.line, root()).ok);
}

// A table of 100 000 one-sector chunks of mixed kinds decodes to the right disk, on one worker
// as on many; past its deadline the decoding stops and leaves nothing.
TEST_F(UdifDecoder, ManyTinyChunks) {
  constexpr int kChunks = 100000;
  QByteArray disk(kChunks * kSector, '\0');
  for (int i = 0; i < disk.size(); i += 3) disk[i] = static_cast<char>(i / kSector);
  Assembled a;
  a.addTable(disk, 1, [](qsizetype i) { return std::array{kRawChunk, kZlibChunk, kZeroFill, kAdcChunk}[i % 4]; });
  for (qsizetype i = 2; i < a.tables[0].entries.size(); i += 4) {
    disk.replace(i * kSector, kSector, QByteArray(kSector, '\0'));
  }
  const QString image = path(QStringLiteral("tiny.dmg"));
  writeFile(image, a.bytes());
  for (const unsigned threads : {1U, 0U}) {
    SCOPED_TRACE(threads);
    const QString target = path(QStringLiteral("tiny.img"));
    const UdifDecoding decoded = decodeDisk(image, target, threads);
    ASSERT_EQ(decoded.status, UdifDecoding::Status::Decoded) << decoded.why.toStdString();
    EXPECT_TRUE(testing_support::readFile(target) == disk);
  }
  const diskimage::UdifLayout layout = layoutOf(image);
  const QString late = path(QStringLiteral("late.img"));
  const UdifDecoding decoded =
      diskimage::decodeUdifTables(QFile::encodeName(image), layout, 0, 0, QFile::encodeName(late), 0,
                                  std::chrono::steady_clock::now() - std::chrono::seconds(1));
  EXPECT_EQ(decoded.status, UdifDecoding::Status::Failed);
  EXPECT_FALSE(QFileInfo::exists(late));
}

// The reader on its own: what it makes of our writer's tables.
TEST(UdifLayout, ReadsOurWritersTables) {
  QTemporaryDir dir;
  const QString image = dir.filePath(QStringLiteral("pkg.dmg"));
  testing_support::makeImage(image, {{QStringLiteral("A.FIR"), QByteArray(3 << 20, 'a')}});
  QFile f(image);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const diskimage::UdifLayout layout = diskimage::readUdifLayout(f);
  ASSERT_EQ(layout.status, diskimage::UdifLayout::Status::Ok) << layout.why.toStdString();
  ASSERT_EQ(layout.tables.size(), 7);  // MBR, GPT header and table, free room, volume, backups
  EXPECT_EQ(diskimage::udifDiskBytes(image), layout.diskSectors() * kSector);
  EXPECT_EQ(layout.tables[4].chunks.size(), 4);  // 3 MiB of a's and the volume's own blocks, 1 MiB a chunk

  QBuffer notUdif;
  notUdif.setData(QByteArray(4096, 'x'));
  ASSERT_TRUE(notUdif.open(QIODevice::ReadOnly));
  EXPECT_EQ(diskimage::readUdifLayout(notUdif).status, diskimage::UdifLayout::Status::NotUdif);
}

}  // namespace
