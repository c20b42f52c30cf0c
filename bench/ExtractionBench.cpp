// The extraction of the firmware file from packages with a 256 MiB firmware file, against a bare
// "7zz x" of the same package, in alternation: an incompressible firmware (whose chunks the
// writer stores raw), and one that compresses about 2:1 in zlib chunks and in bzip2 chunks.
//
//   build/bench/bench_extraction [incompressible|zlib|bzip2 ...]

#include <QCoreApplication>
#include <QtEndian>
#include <map>

#include "bench/BenchSupport.h"
#include "firmware/FirmwareFileDownloadViewController.h"
#include "tools/diskimage/DiskImage.h"

namespace {

using firmware_service::FirmwareContent;

struct Package {
  const char* name;
  firmware_service::PackageOptions options;
  double goal;  // our time over 7zz's, at most
};

// What an image stores, by kind of chunk: how many chunks, and their bytes in the file and
// unpacked. Read from the block tables of the property list.
struct ChunkKinds {
  struct Count {
    qint64 chunks = 0;
    qint64 stored = 0;
    qint64 unpacked = 0;
  };
  std::map<quint32, Count> byKind;
};

quint32 be32(const QByteArray& b, qsizetype at) {
  return qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(b.constData() + at));
}
quint64 be64(const QByteArray& b, qsizetype at) {
  return qFromBigEndian<quint64>(reinterpret_cast<const uchar*>(b.constData() + at));
}

std::optional<ChunkKinds> chunkKinds(const QString& image) {
  QFile f(image);
  if (!f.open(QIODevice::ReadOnly) || f.size() < 512 || !f.seek(f.size() - 512)) return std::nullopt;
  const QByteArray trailer = f.read(512);
  if (be32(trailer, 0) != 0x6B6F6C79 || !f.seek(static_cast<qint64>(be64(trailer, 216)))) return std::nullopt;
  const QByteArray plist = f.read(static_cast<qint64>(be64(trailer, 224)));
  ChunkKinds kinds;
  for (qsizetype from = 0;;) {
    const qsizetype open = plist.indexOf("<data>", from);
    if (open < 0) break;
    const qsizetype close = plist.indexOf("</data>", open);
    if (close < 0) return std::nullopt;
    from = close;
    const QByteArray table = QByteArray::fromBase64(plist.mid(open + 6, close - open - 6).simplified());
    if (table.size() < 204 || be32(table, 0) != 0x6D697368) continue;
    const quint32 entries = be32(table, 200);
    for (quint32 i = 0; i < entries && 204 + 40 * (i + 1) <= static_cast<quint32>(table.size()); ++i) {
      const qsizetype at = 204 + 40 * static_cast<qsizetype>(i);
      ChunkKinds::Count& count = kinds.byKind[be32(table, at)];
      ++count.chunks;
      count.unpacked += static_cast<qint64>(be64(table, at + 16) * 512);
      count.stored += static_cast<qint64>(be64(table, at + 32));
    }
  }
  return kinds;
}

const char* kindName(quint32 kind) {
  switch (kind) {
    case 0x00000000:
      return "zero";
    case 0x00000001:
      return "raw";
    case 0x00000002:
      return "free";
    case 0x80000005:
      return "zlib";
    case 0x80000006:
      return "bzip2";
    case 0xFFFFFFFF:
      return "end";
    default:
      return "other";
  }
}

void describeImage(const QString& image) {
  const auto kinds = chunkKinds(image);
  if (!kinds) bench::fail("the package's block tables could not be read");
  std::printf("  image %.1f MiB for a %lld MiB firmware (%.2f:1); chunks stored:\n",
              static_cast<double>(QFileInfo(image).size()) / 1048576.0, bench::kFirmwareSize >> 20,
              static_cast<double>(bench::kFirmwareSize) / static_cast<double>(QFileInfo(image).size()));
  for (const auto& [kind, count] : kinds->byKind) {
    if (kind == 0xFFFFFFFF || kind == 0x00000002) continue;
    std::printf("    %-6s %6lld chunks, %8.1f MiB unpacked in %8.1f MiB\n", kindName(kind),
                static_cast<long long>(count.chunks), static_cast<double>(count.unpacked) / 1048576.0,
                static_cast<double>(count.stored) / 1048576.0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
  qputenv("RAVLIO_ATTACH_ROOT", QFile::encodeName(dir.filePath(QStringLiteral("Volumes"))));
  const QString sevenZip = diskimage::sevenZipPath();
  if (sevenZip.isEmpty()) bench::fail("7zz not found");
  QDir().mkpath(FirmwareFileDownloadViewController::downloadFolderURL()->toLocalFile());

  const std::vector<Package> all{
      {"incompressible", {FirmwareContent::Incompressible, QString()}, 1.2},
      {"zlib", {FirmwareContent::Compressible, QStringLiteral("zlib")}, 0.8},
      {"bzip2", {FirmwareContent::Compressible, QStringLiteral("bzip2")}, 0.5},
  };
  QStringList wanted = QCoreApplication::arguments().mid(1);
  bench::Goals goals;
  for (const Package& package : all) {
    if (!wanted.isEmpty() && !wanted.removeAll(QString::fromLatin1(package.name))) continue;
    std::printf("== %s package\n", package.name);
    // One package at a time keeps the scratch space to one image and its extractions.
    const QString packages = dir.filePath(QStringLiteral("packages"));
    const QString image = bench::makePackage(packages, bench::kPackage, package.options);
    describeImage(image);

    const QString bare = dir.filePath(QStringLiteral("bare"));
    CameraFirmwareInfo entry;
    entry.fileName = bench::kPackage;
    const auto bareRun = [&] {
      QDir(bare).removeRecursively();
      ::sync();
      return bench::timed([&] {
        QProcess::execute(sevenZip, {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-bso0"),
                                     QStringLiteral("-bsp0"), QStringLiteral("-o") + bare, image});
        ::sync();  // both sides end with their bytes on disk
      });
    };
    const auto ourRun = [&] {
      QDir(bare).removeRecursively();
      ::sync();
      std::optional<QUrl> extracted;
      const double seconds = bench::timed([&] {
        extracted = FirmwareFileDownloadViewController::extractFirmwareFromImage(entry, QUrl::fromLocalFile(image));
        ::sync();
      });
      if (!extracted || QFileInfo(extracted->toLocalFile()).size() != bench::kFirmwareSize) {
        bench::fail("the extraction failed");
      }
      QFile::remove(extracted->toLocalFile());
      return seconds;
    };
    const bench::Alternation times = bench::alternate(bench::kPairs, bareRun, ourRun);
    bench::reportAlternation(&goals, std::string("extraction, ") + package.name + " package", "7zz x",
                             "ours (attach, copy, detach)", times, package.goal);
    QDir(packages).removeRecursively();
    QDir(bare).removeRecursively();
  }
  if (!wanted.isEmpty()) bench::fail("unknown package: give incompressible, zlib or bzip2");
  return goals.finish();
}
