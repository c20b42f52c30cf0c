// The extraction of the firmware file from packages with a 256 MiB firmware file, against a bare
// "7zz x" of the same package, in alternation: an incompressible firmware (whose chunks the
// writer stores raw), and one that compresses about 2:1 in zlib chunks and in bzip2 chunks.
//
//   build/bench/bench_extraction [incompressible|zlib|bzip2 ...]

#include <QCoreApplication>
#include <map>

#include "bench/BenchSupport.h"
#include "firmware/FirmwareFileDownloadViewController.h"
#include "tools/diskimage/DiskImage.h"
#include "tools/diskimage/PartitionMap.h"
#include "tools/diskimage/UdifFormat.h"
#include "tools/diskimage/UdifReader.h"

namespace {

using firmware_service::FirmwareContent;

struct Package {
  const char* name;
  firmware_service::PackageOptions options;
  double goal;  // our time over 7zz's, at most
};

// What an image stores, by kind of chunk: how many chunks, and their bytes in the file and
// unpacked. Read from its block tables.
struct ChunkKinds {
  struct Count {
    qint64 chunks = 0;
    qint64 stored = 0;
    qint64 unpacked = 0;
  };
  std::map<quint32, Count> byKind;
};

std::optional<ChunkKinds> chunkKinds(const QString& image) {
  QFile f(image);
  if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
  const diskimage::UdifLayout layout = diskimage::readUdifLayout(f);
  if (layout.status != diskimage::UdifLayout::Status::Ok) return std::nullopt;
  ChunkKinds kinds;
  for (const diskimage::UdifTable& table : layout.tables) {
    for (const diskimage::UdifChunk& c : table.chunks) {
      ChunkKinds::Count& count = kinds.byKind[c.kind];
      ++count.chunks;
      count.unpacked += static_cast<qint64>(c.sectors * diskimage::kSectorSize);
      count.stored += static_cast<qint64>(c.length);
    }
  }
  return kinds;
}

const char* kindName(quint32 kind) {
  using namespace diskimage::udif;
  switch (kind) {
    case kZeroFill:
      return "zero";
    case kRawChunk:
      return "raw";
    case kFreeChunk:
      return "free";
    case kZlibChunk:
      return "zlib";
    case kBzip2Chunk:
      return "bzip2";
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
    if (kind == diskimage::udif::kFreeChunk) continue;
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
