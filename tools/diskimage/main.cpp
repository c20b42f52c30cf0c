// The disk-image tool of the updater:
//
//   diskimage attach <file URL or path of an image>   extracts it into the attach root, prints the mount point
//   diskimage detach <mount point>                    removes what attach made
//   diskimage create [options] <folder> <image path>  makes a UDIF image (HFS+ volume) of the folder
//       --map gpt|apm|none     the partition map (gpt)
//       --chunks zlib|bzip2|raw  how the chunks are stored (zlib)
//       --volume <name>        the volume's name
//       --iso                  an ISO 9660 / HFS hybrid made by genisoimage instead
//
// Each verb prints one line; a failure's line is "diskimage: <verb> failed: <why>" and the exit
// status is 1. SIGTERM, SIGINT or SIGHUP end the 7-Zip that runs and the verb fails (leaving
// nothing behind); the tool then ends by that signal. A 7-Zip never outlives the tool.

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>

#include "platform/CommandRunner.h"
#include "platform/Volumes.h"
#include "tools/diskimage/DiskImage.h"

namespace {
// The application gives the tool longer than this, so the tool ends 7-Zip before it is ended.
constexpr double kToolTimeoutSeconds = 100.0;

// Reads create's options ahead of its two paths; false on anything unknown.
bool parseCreate(QStringList args, diskimage::CreateOptions* options, QStringList* paths) {
  while (!args.isEmpty() && args.front().startsWith(QStringLiteral("--"))) {
    const QString option = args.takeFirst();
    if (option == QStringLiteral("--iso")) {
      options->iso = true;
      continue;
    }
    if (args.isEmpty()) return false;
    const QString value = args.takeFirst();
    if (option == QStringLiteral("--map") && value == QStringLiteral("gpt")) {
      options->map = diskimage::PartitionMapKind::Gpt;
    } else if (option == QStringLiteral("--map") && value == QStringLiteral("apm")) {
      options->map = diskimage::PartitionMapKind::Apple;
    } else if (option == QStringLiteral("--map") && value == QStringLiteral("none")) {
      options->map = diskimage::PartitionMapKind::None;
    } else if (option == QStringLiteral("--chunks") && value == QStringLiteral("zlib")) {
      options->chunks = diskimage::ChunkKind::Zlib;
    } else if (option == QStringLiteral("--chunks") && value == QStringLiteral("bzip2")) {
      options->chunks = diskimage::ChunkKind::Bzip2;
    } else if (option == QStringLiteral("--chunks") && value == QStringLiteral("raw")) {
      options->chunks = diskimage::ChunkKind::Raw;
    } else if (option == QStringLiteral("--volume") && !value.isEmpty()) {
      options->volumeName = value;
    } else {
      return false;
    }
  }
  *paths = args;
  return paths->size() == 2;
}
// attach refuses an image whose listing is too large; this also holds 7-Zip (which inherits
// the limit) to that size for any one file it writes, should an image lie in its listing.
void limitWrittenFiles(const QString& image) {
  const qint64 bound = diskimage::extractionBound(QFileInfo(diskimage::localPathOf(image)).size());
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) return;
  limit.rlim_cur = std::min(limit.rlim_max, static_cast<rlim_t>(bound));
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

std::atomic<int> gEndedBy{0};

void onEndSignal(int sig) {
  gEndedBy.store(sig);
  platform::endRunningCommands();
}

void endOnSignals() {
  struct sigaction action {};
  action.sa_handler = onEndSignal;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

// The program that runs the tool holds the volume it attaches. An orphaned tool (its parent
// already gone) holds it itself, so that it is cleared once the tool has ended.
qint64 volumeHolder() {
  const pid_t parent = ::getppid();
  return parent > 1 ? parent : ::getpid();
}
}  // namespace

int main(int argc, char** argv) {
  endOnSignals();
  QCoreApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments().mid(1);
  diskimage::Outcome outcome;
  diskimage::CreateOptions options;
  QStringList paths;
  const QString verb = args.value(0);
  if (verb == QStringLiteral("attach") && args.size() == 2) {
    limitWrittenFiles(args[1]);
    outcome = diskimage::attach(args[1], platform::attachRoot(), platform::Duration(kToolTimeoutSeconds), volumeHolder());
  } else if (verb == QStringLiteral("detach") && args.size() == 2) {
    outcome = diskimage::detach(args[1], platform::attachRoot());
  } else if (verb == QStringLiteral("create") && parseCreate(args.mid(1), &options, &paths)) {
    outcome = diskimage::create(paths[0], paths[1], platform::Duration(kToolTimeoutSeconds), options);
  } else {
    std::printf("diskimage: usage failed: diskimage attach <image> | detach <mount point> | create [options] <folder> <image>\n");
    return 2;
  }
  std::printf("%s\n", outcome.line.toUtf8().constData());
  std::fflush(stdout);
  if (const int sig = gEndedBy.load()) {
    std::signal(sig, SIG_DFL);
    std::raise(sig);
  }
  return outcome.ok ? 0 : 1;
}
