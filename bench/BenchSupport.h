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
#include <string>
#include <vector>

#include "platform/Volumes.h"
#include "tools/firmware-service/FirmwarePackages.h"

namespace bench {

inline constexpr qint64 kFirmwareSize = 256LL * 1024 * 1024;
inline const QString kPackage = QStringLiteral("TavoBench_FW999.dmg");
inline const QString kFirmware = QStringLiteral("TAVOBENCH_999.FIR");
// Pairs of runs where a benchmark compares two sides.
inline constexpr int kPairs = 5;

[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "bench: %s\n", what);
  std::exit(1);
}

// Makes the package `name` in `folder` with a firmware file of kFirmwareSize bytes; the path.
inline QString makePackage(const QString& folder, const QString& name,
                           const firmware_service::PackageOptions& options = {}) {
  QDir().mkpath(folder);
  QString error;
  const bool compressible = options.content == firmware_service::FirmwareContent::Compressible;
  std::printf("making %s: a %lld MiB %s firmware file in %s chunks...\n", qPrintable(name), kFirmwareSize >> 20,
              compressible ? "compressible" : "incompressible",
              options.chunks.isEmpty() ? "the default" : qPrintable(options.chunks));
  std::fflush(stdout);
  const QString path = QDir(folder).filePath(name);
  if (!firmware_service::makePackage(platform::diskImageToolPath(), path, kFirmware, kFirmwareSize, &error,
                                     options)) {
    fail(qPrintable(error));
  }
  return path;
}

// A folder holding the incompressible 256 MiB package kPackage, made once per run.
inline QString makePackage(const QTemporaryDir& dir) {
  const QString packages = dir.filePath(QStringLiteral("packages"));
  makePackage(packages, kPackage);
  return packages;
}

// Seconds of wall time that `work` takes.
inline double timed(const std::function<void()>& work) {
  QElapsedTimer t;
  t.start();
  work();
  return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

// The median and the range of some measurements.
struct Spread {
  double median = 0;
  double low = 0;
  double high = 0;
};

inline Spread spreadOf(std::vector<double> values) {
  if (values.empty()) return {};
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return {median, values.front(), values.back()};
}

// "1.234 (1.200-1.300)": the median and, in brackets, the least and the greatest.
inline std::string describe(const Spread& s, int decimals = 3) {
  char text[96];
  std::snprintf(text, sizeof text, "%.*f (%.*f-%.*f)", decimals, s.median, decimals, s.low, decimals, s.high);
  return text;
}

// The times of two sides measured in alternation, A B A B ...; the ratios are B/A per pair.
struct Alternation {
  std::vector<double> a;
  std::vector<double> b;
  std::vector<double> ratios() const {
    std::vector<double> r;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) r.push_back(a[i] > 0 ? b[i] / a[i] : 0);
    return r;
  }
};

// Runs side A and side B in turn, `pairs` times; each side returns its time in seconds.
inline Alternation alternate(int pairs, const std::function<double()>& a, const std::function<double()>& b) {
  Alternation times;
  for (int i = 0; i < pairs; ++i) {
    times.a.push_back(a());
    times.b.push_back(b());
    std::printf("  pair %d: %.4f s, %.4f s\n", i + 1, times.a.back(), times.b.back());
    std::fflush(stdout);
  }
  return times;
}

// The goals a benchmark checks; each is printed as met or missed, and every miss once more at
// the end, under a "MISSED" mark that scripts/bench.sh gathers.
class Goals {
 public:
  // `value` (a median) against its bound: at most `bound`, or at least it when `atLeast`.
  void check(const std::string& what, double value, double bound, bool atLeast = false) {
    const bool met = atLeast ? value >= bound : value <= bound;
    char line[256];
    std::snprintf(line, sizeof line, "%s: %.4g, goal %s %.4g", what.c_str(), value, atLeast ? ">=" : "<=", bound);
    std::printf("  %s: %s\n", met ? "met" : "MISSED", line);
    if (!met) missed_.push_back(line);
  }
  // Prints the misses; the process's exit status.
  int finish() const {
    for (const std::string& line : missed_) std::printf("MISSED %s\n", line.c_str());
    if (missed_.empty()) std::printf("all goals met\n");
    return missed_.empty() ? 0 : 1;
  }

 private:
  std::vector<std::string> missed_;
};

// Prints both sides' times and their ratio (B/A) as medians and ranges, and checks the ratio's
// median against `goal` (at most, or at least when `atLeast`) unless `goals` is null.
// Times print in seconds, or in milliseconds when `milliseconds`.
inline void reportAlternation(Goals* goals, const std::string& what, const char* aName, const char* bName,
                              const Alternation& times, double goal, bool atLeast = false, bool milliseconds = false) {
  const auto scaled = [milliseconds](std::vector<double> v) {
    if (milliseconds) for (double& x : v) x *= 1000;
    return spreadOf(std::move(v));
  };
  const int decimals = milliseconds ? 1 : 3;
  std::printf("%s, %s as median (min-max) of %zu alternating pairs:\n", what.c_str(),
              milliseconds ? "milliseconds" : "seconds", times.a.size());
  std::printf("  %-28s %s\n", aName, describe(scaled(times.a), decimals).c_str());
  std::printf("  %-28s %s\n", bName, describe(scaled(times.b), decimals).c_str());
  const Spread ratio = spreadOf(times.ratios());
  std::printf("  %-28s %s\n", (std::string(bName) + " / " + aName).c_str(), describe(ratio, 2).c_str());
  if (goals) goals->check(what + ", time ratio", ratio.median, goal, atLeast);
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
