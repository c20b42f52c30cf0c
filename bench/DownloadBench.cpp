// The firmware download from the local service against curl on the same file, in alternation
// (speed, memory growth), and the GUI thread's longest stall while the download screen
// downloads and extracts.
//
//   build/bench/bench_download
//
// Needs the build's firmware-service and disk-image tool, curl and 7zz.

#include <QApplication>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QStandardPaths>

#include "bench/BenchSupport.h"
#include "firmware/DownloadRules.h"
#include "firmware/FirmwareDownload.h"
#include "firmware/FirmwareFileDownloadViewController.h"
#include "platform/Queues.h"

int main(int argc, char** argv) {
  // The screen is measured, not looked at: without a display it draws off screen.
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  platform::MainQueue::install();
  QTemporaryDir dir;
  qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
  qputenv("RAVLIO_ATTACH_ROOT", QFile::encodeName(dir.filePath(QStringLiteral("Volumes"))));
  const QString packages = bench::makePackage(dir);

  // The service in a process of its own, as in a run.
  const QString catalogue = dir.filePath(QStringLiteral("catalogue.json"));
  {
    QFile f(catalogue);
    f.open(QIODevice::WriteOnly);
    f.write(R"({"models": {"Tavo Bench": {"versions": [{"version": "9.9.9", "file": "TavoBench_FW999.dmg"}]}}})");
  }
  QProcess service;
  service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  service.start(QStringLiteral(RAVLIO_FIRMWARE_SERVICE),
                {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--catalogue"), catalogue,
                 QStringLiteral("--packages"), packages});
  if (!service.waitForReadyRead(10000)) bench::fail("the firmware service did not start");
  const QString listening = QString::fromUtf8(service.readLine()).trimmed();
  const QString base = listening.section(u' ', -1);
  const QUrl link(base + QStringLiteral("/firmware/") + bench::kPackage);
  const qint64 packageSize = QFileInfo(QDir(packages).filePath(bench::kPackage)).size();
  std::printf("service at %s, package %lld bytes\n", qPrintable(base), packageSize);

  // Ours and curl in alternation, with the memory our process grows by over all of ours.
  const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
  if (curl.isEmpty()) bench::fail("curl not found");
  const QString curlOut = dir.filePath(QStringLiteral("curl.out"));
  const auto byCurl = [&] {
    const double seconds = bench::timed([&] {
      QProcess::execute(curl, {QStringLiteral("-s"), QStringLiteral("-o"), curlOut, link.toString()});
    });
    if (QFileInfo(curlOut).size() != packageSize) bench::fail("curl's download is incomplete");
    return seconds;
  };
  QNetworkAccessManager manager;
  const QString destination = dir.filePath(QStringLiteral("ours/") + bench::kPackage);
  const auto download = [&] {
    bool done = false;
    FirmwareDownload download(&manager, link, destination, std::chrono::milliseconds(30000), packageSize);
    download.start([](double) {}, [&](const DownloadResponse& r) {
      if (r.error) bench::fail(qPrintable(*r.error));
      done = true;
    }, download_rules::isAllowedDownloadUrl);
    while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  };
  const auto ours = [&] {
    const double seconds = bench::timed(download);
    if (QFileInfo(destination).size() != packageSize) bench::fail("the download is incomplete");
    return seconds;
  };
  // Warms up: libraries and the network thread are not the download's growth. Each later
  // download, ours and curl's, then replaces the file of the one before, as a download of a
  // version already fetched does.
  download();
  byCurl();
  bench::resetPeakMemory();
  const qint64 rssBefore = bench::statusKiB("VmRSS");
  const bench::Alternation times = bench::alternate(bench::kPairs, ours, byCurl);
  const qint64 growthKiB = bench::statusKiB("VmHWM") - rssBefore;
  QFile::remove(curlOut);

  // The screen: download and extraction, with the GUI thread watched.
  auto entry = std::make_shared<CameraFirmwareInfo>();
  entry->version = QStringLiteral("9.9.9");
  entry->fileName = bench::kPackage;
  entry->fileSize = packageSize;
  entry->downloadLink = link.toString();
  bench::StallMeter meter;
  FirmwareFileDownloadViewController screen;
  screen.productName = QStringLiteral("Tavo Bench");
  screen.selectedCameraFirmwareInfo = entry;
  screen.view()->resize(800, 560);
  screen.view()->show();
  QCoreApplication::processEvents();
  meter.start();
  const double walkSeconds = bench::timed([&] {
    while (!screen.firmewareFileURL && screen.btnDownloadRetry->isHidden()) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
  });
  const double stallMs = meter.stop();
  if (!screen.firmewareFileURL) bench::fail("the screen's download or extraction failed");
  screen.view()->hide();
  service.kill();
  service.waitForFinished();

  bench::Goals goals;
  bench::reportAlternation(&goals, "download (our speed over curl's)", "ours", "curl", times, 0.90, true);
  std::printf("  MiB/s: ours %.0f, curl %.0f (medians)\n", packageSize / 1048576.0 / bench::spreadOf(times.a).median,
              packageSize / 1048576.0 / bench::spreadOf(times.b).median);
  std::printf("screen: download and extraction %.3f s\n", walkSeconds);
  goals.check("memory growth over our downloads, MiB", growthKiB / 1024.0, 16);
  goals.check("longest GUI-thread stall on the download screen, ms", stallMs, 50);
  return goals.finish();
}
