// Copies a large file onto a disk with CopyUtil and with `cp` followed by `sync` of the copy,
// in alternation, and reports both speeds and how long the main loop stalled during our copy.
//
//   bench_copy [folder on the disk to measure] [size in MiB, default 256] [pairs, default 5]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/BenchSupport.h"
#include "firmware/CopyUtil.h"
#include "platform/Queues.h"

namespace {

class Finish final : public CopyUtilDelegate {
 public:
  void copyProgress(int) override {}
  void copyDidFinish() override { done = ok = true; }
  void copyDidFail() override { done = true; }
  bool done = false;
  bool ok = false;
};

bool run(const QString& program, const QStringList& arguments) { return QProcess::execute(program, arguments) == 0; }

bool makeSource(const QString& path, qint64 mib) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  std::vector<quint32> block((1 << 20) / sizeof(quint32));
  for (qint64 i = 0; i < mib; ++i) {
    QRandomGenerator::global()->fillRange(block.data(), block.size());
    if (file.write(reinterpret_cast<const char*>(block.data()), 1 << 20) != (1 << 20)) return false;
  }
  file.close();
  return run(QStringLiteral("sync"), {path});
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  platform::MainQueue::install();
  const QStringList args = QCoreApplication::arguments();
  QTemporaryDir scratch(args.size() > 1 ? args[1] + QStringLiteral("/bench_copy-XXXXXX") : QString());
  const qint64 mib = args.size() > 2 ? args[2].toLongLong() : 256;
  const int rounds = args.size() > 3 ? args[3].toInt() : bench::kPairs;
  if (!scratch.isValid() || mib <= 0 || rounds <= 0) {
    std::fprintf(stderr, "usage: bench_copy [folder] [MiB] [rounds]\n");
    return 2;
  }
  const QString source = scratch.filePath(QStringLiteral("source.fir"));
  const QString byCp = scratch.filePath(QStringLiteral("cp.fir"));
  const QString byUs = scratch.filePath(QStringLiteral("copyutil.fir"));
  std::printf("copying %lld MiB in %s, %d pairs\n", static_cast<long long>(mib), qPrintable(scratch.path()), rounds);
  if (!makeSource(source, mib)) return 1;

  double worstStall = 0;
  const auto clearCopies = [&] {
    QFile::remove(byCp);
    QFile::remove(byUs);
    run(QStringLiteral("sync"), {QStringLiteral("-f"), scratch.path()});
  };
  const auto ours = [&] {
    clearCopies();
    // The main loop's health: the longest gap between ticks of a GUI-thread timer.
    bench::StallMeter stalls;
    Finish finish;
    QElapsedTimer clock;
    clock.start();
    stalls.start();
    auto copy = CopyUtil::create(QUrl::fromLocalFile(source), QUrl::fromLocalFile(byUs));
    copy->setDelegate(&finish);
    copy->start();
    copy.reset();
    platform::processEventsUntil([&] { return finish.done; }, std::chrono::minutes(10));
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const double stall = stalls.stop();
    if (!finish.ok) bench::fail("CopyUtil failed");
    worstStall = std::max(worstStall, stall);
    return seconds;
  };
  const auto cpAndSync = [&] {
    clearCopies();
    return bench::timed([&] {
      if (!run(QStringLiteral("cp"), {source, byCp}) || !run(QStringLiteral("sync"), {byCp})) bench::fail("cp failed");
    });
  };
  const bench::Alternation times = bench::alternate(rounds, ours, cpAndSync);
  platform::GlobalQueue::shared().waitForIdle();
  bench::Goals goals;
  bench::reportAlternation(&goals, "copy (CopyUtil's speed over cp + sync's)", "CopyUtil", "cp + sync", times, 0.95,
                           true);
  std::printf("  MiB/s: CopyUtil %.1f, cp + sync %.1f (medians)\n",
              static_cast<double>(mib) / bench::spreadOf(times.a).median,
              static_cast<double>(mib) / bench::spreadOf(times.b).median);
  goals.check("longest main-loop stall during the copies, ms", worstStall, 50);
  return goals.finish();
}
