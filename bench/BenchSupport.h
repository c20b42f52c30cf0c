#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>

#include "platform/Volumes.h"
#include "tools/firmware-service/FirmwarePackages.h"

namespace bench {

inline constexpr qint64 kFirmwareSize = 256LL * 1024 * 1024;
inline const QString kPackage = QStringLiteral("TavoBench_FW999.dmg");
inline const QString kFirmware = QStringLiteral("TAVOBENCH_999.FIR");

inline void fail(const char* what) {
  std::fprintf(stderr, "bench: %s\n", what);
  std::exit(1);
}

// A folder holding the 256 MiB package, made once per run.
inline QString makePackage(const QTemporaryDir& dir) {
  const QString packages = dir.filePath(QStringLiteral("packages"));
  QDir().mkpath(packages);
  QString error;
  std::printf("making a package with a %lld MiB firmware file...\n", kFirmwareSize >> 20);
  std::fflush(stdout);
  if (!firmware_service::makePackage(platform::diskImageToolPath(), QDir(packages).filePath(kPackage), kFirmware,
                                     kFirmwareSize, &error)) {
    fail(qPrintable(error));
  }
  return packages;
}

// Seconds of wall time that `work` takes.
inline double timed(const std::function<void()>& work) {
  QElapsedTimer t;
  t.start();
  work();
  return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

// The best of `n` runs, in seconds.
inline double bestOf(int n, const std::function<void()>& work) {
  double best = 1e300;
  for (int i = 0; i < n; ++i) best = std::min(best, timed(work));
  return best;
}

// A value of /proc/self/status in KiB ("VmRSS", "VmHWM").
inline qint64 statusKiB(const char* field) {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : f.readAll().split('\n')) {
    if (line.startsWith(QByteArray(field) + ':')) return line.mid(qstrlen(field) + 1).trimmed().split(' ').value(0).toLongLong();
  }
  return -1;
}

// Starts the peak resident size (VmHWM) afresh from the current one.
inline void resetPeakMemory() {
  QFile f(QStringLiteral("/proc/self/clear_refs"));
  if (f.open(QIODevice::WriteOnly)) f.write("5");
}

// Measures the longest gap between ticks of a 2 ms timer on the calling (GUI) thread: how long
// the event loop was kept from running.
class StallMeter : public QObject {
 public:
  StallMeter() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(2);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
      const qint64 now = clock_.nsecsElapsed();
      if (last_ >= 0) longest_ = std::max(longest_, now - last_);
      last_ = now;
    });
  }
  void start() {
    longest_ = 0;
    last_ = -1;
    clock_.start();
    timer_.start();
  }
  double stop() {
    timer_.stop();
    return static_cast<double>(longest_) / 1e6;  // ms
  }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = -1;
  qint64 longest_ = 0;
};

}  // namespace bench
