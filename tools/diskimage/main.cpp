// The disk-image tool of the updater:
//
//   diskimage attach <file URL or path of an image>   extracts it into the attach root, prints the mount point
//   diskimage detach <mount point>                    removes what attach made
//   diskimage create <folder> <image path>            makes an ISO 9660 / HFS image of the folder
//
// Each verb prints one line; a failure's line contains "failed" and the exit status is 1.

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

#include "platform/Volumes.h"
#include "tools/diskimage/DiskImage.h"

namespace {
// The application gives the tool longer than this, so the tool ends 7-Zip before it is ended.
constexpr double kToolTimeoutSeconds = 100.0;
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments().mid(1);
  diskimage::Outcome outcome;
  const QString verb = args.value(0);
  if (verb == QStringLiteral("attach") && args.size() == 2) {
    outcome = diskimage::attach(args[1], platform::attachRoot(), platform::Duration(kToolTimeoutSeconds));
  } else if (verb == QStringLiteral("detach") && args.size() == 2) {
    outcome = diskimage::detach(args[1], platform::attachRoot());
  } else if (verb == QStringLiteral("create") && args.size() == 3) {
    outcome = diskimage::create(args[1], args[2], platform::Duration(kToolTimeoutSeconds));
  } else {
    std::printf("diskimage: usage failed: diskimage attach <image> | detach <mount point> | create <folder> <image>\n");
    return 2;
  }
  std::printf("%s\n", outcome.line.toUtf8().constData());
  return outcome.ok ? 0 : 1;
}
