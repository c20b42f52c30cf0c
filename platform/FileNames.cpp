#include "platform/FileNames.h"

namespace platform {

bool isPlainFileName(const QString& name) {
  if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral("..")) return false;
  for (const QChar c : name) {
    if (c == u'/' || c == u'\\' || c.category() == QChar::Other_Control) return false;
  }
  return name.toUtf8().size() <= kMaxFileNameBytes;
}

}  // namespace platform
