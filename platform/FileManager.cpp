#include "platform/FileManager.h"

#include <QFile>

#include <sys/stat.h>

namespace platform {

std::optional<qint64> fileSize(const QString& path) {
  struct stat st {};
  if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &st) != 0) return std::nullopt;
  return static_cast<qint64>(st.st_size);
}

}  // namespace platform
