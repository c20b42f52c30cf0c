// Copies a large file onto a disk with CopyUtil and with `cp` followed by `sync` of the copy,
// side by side, and reports both speeds and how long the main loop stalled during our copy.
//
//   bench_copy [folder on the disk to measure] [size in MiB, default 256] [rounds, default 5]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "firmware/CopyUtil.h"
#include "platform/Queues.h"

namespace {

class Finish final : public CopyUtilDelegate {
 public:
  void copyProgress(int) override { ++ticks; }
  void copyDidFinish() override { done = ok = true; }
  void copyDidFail() override { done = true; }
  bool done = false;
  bool ok = false;
  int ticks = 0;
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

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  platform::MainQueue::install();
  const QStringList args = QCoreApplication::arguments();
  QTemporaryDir scratch(args.size() > 1 ? args[1] + QStringLiteral("/bench_copy-XXXXXX") : QString());
  const qint64 mib = args.size() > 2 ? args[2].toLongLong() : 256;
  const int rounds = args.size() > 3 ? args[3].toInt() : 5;
  if (!scratch.isValid() || mib <= 0 || rounds <= 0) {
    std::fprintf(stderr, "usage: bench_copy [folder] [MiB] [rounds]\n");
    return 2;
  }
  const QString source = scratch.filePath(QStringLiteral("source.fir"));
  const QString byCp = scratch.filePath(QStringLiteral("cp.fir"));
  const QString byUs = scratch.filePath(QStringLiteral("copyutil.fir"));
  std::printf("copying %lld MiB in %s, %d rounds\n", static_cast<long long>(mib), qPrintable(scratch.path()), rounds);
  if (!makeSource(source, mib)) return 1;

  std::vector<double> cpSeconds, usSeconds;
  qint64 worstStall = 0;
  for (int round = 0; round < rounds; ++round) {
    QFile::remove(byCp);
    QFile::remove(byUs);
    run(QStringLiteral("sync"), {QStringLiteral("-f"), scratch.path()});

    QElapsedTimer clock;
    clock.start();
    if (!run(QStringLiteral("cp"), {source, byCp}) || !run(QStringLiteral("sync"), {byCp})) return 1;
    cpSeconds.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
    run(QStringLiteral("sync"), {QStringLiteral("-f"), scratch.path()});

    // The main loop's health: a 5 ms timer whose longest gap is the worst stall.
    QElapsedTimer sinceTick;
    qint64 stall = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] { stall = std::max(stall, sinceTick.restart()); });
    Finish finish;
    clock.restart();
    sinceTick.start();
    probe.start(5);
    auto copy = CopyUtil::create(QUrl::fromLocalFile(source), QUrl::fromLocalFile(byUs));
    copy->setDelegate(&finish);
    copy->start();
    copy.reset();
    platform::processEventsUntil([&] { return finish.done; }, std::chrono::minutes(10));
    usSeconds.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
    probe.stop();
    if (!finish.ok) {
      std::fprintf(stderr, "CopyUtil failed\n");
      return 1;
    }
    worstStall = std::max(worstStall, stall);
    std::printf("round %d: cp+sync %.3f s, CopyUtil %.3f s (%d progress reports)\n", round + 1, cpSeconds.back(),
                usSeconds.back(), finish.ticks);
  }
  platform::GlobalQueue::shared().waitForIdle();
  const double cp = median(cpSeconds), us = median(usSeconds);
  std::printf("median: cp+sync %.1f MiB/s, CopyUtil %.1f MiB/s, speed ratio %.2f (goal >= 0.95)\n",
              static_cast<double>(mib) / cp, static_cast<double>(mib) / us, cp / us);
  std::printf("longest main-loop stall during the copies: %lld ms (goal <= 50)\n", static_cast<long long>(worstStall));
  return 0;
}
