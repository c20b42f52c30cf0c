// The extraction of the firmware file from a package with a 256 MiB firmware file, against a
// bare "7zz x" of the same package.
//
//   build/bench/bench_extraction

#include <QCoreApplication>

#include "bench/BenchSupport.h"
#include "firmware/FirmwareFileDownloadViewController.h"
#include "tools/diskimage/DiskImage.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
  qputenv("RAVLIO_ATTACH_ROOT", QFile::encodeName(dir.filePath(QStringLiteral("Volumes"))));
  const QString image = QDir(bench::makePackage(dir)).filePath(bench::kPackage);
  const QString sevenZip = diskimage::sevenZipPath();
  if (sevenZip.isEmpty()) bench::fail("7zz not found");
  QDir().mkpath(FirmwareFileDownloadViewController::downloadFolderURL()->toLocalFile());

  const QString bare = dir.filePath(QStringLiteral("bare"));
  const double bareSeconds = bench::bestOf(5, [&] {
    QDir(bare).removeRecursively();
    QProcess::execute(sevenZip, {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-bso0"),
                                 QStringLiteral("-bsp0"), QStringLiteral("-o") + bare, image});
    ::sync();  // both sides end with their bytes on disk
  });
  CameraFirmwareInfo entry;
  entry.fileName = bench::kPackage;
  const double ourSeconds = bench::bestOf(5, [&] {
    if (!FirmwareFileDownloadViewController::extractFirmwareFromImage(entry, QUrl::fromLocalFile(image))) {
      bench::fail("the extraction failed");
    }
    ::sync();
  });
  const double ratio = ourSeconds / bareSeconds;
  std::printf("extraction  7zz x %.3f s, ours (attach, find, copy, detach) %.3f s: %.2fx (needs <= 1.20)\n",
              bareSeconds, ourSeconds, ratio);
  return ratio <= 1.2 ? 0 : 1;
}
