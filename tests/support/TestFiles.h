#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <optional>

#include "platform/UserDefaults.h"

namespace testing_support {

// Writes `bytes` to `path`, making its folders.
inline void writeFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  f.write(bytes);
}

// Stores "AppleLanguages" in the user defaults, or removes it for none.
inline void storeLanguages(const std::optional<QStringList>& languages) {
  auto& defaults = platform::UserDefaults::standard();
  if (languages) {
    defaults.setObject(QStringLiteral("AppleLanguages"), *languages);
  } else {
    defaults.removeObject(QStringLiteral("AppleLanguages"));
  }
}

}  // namespace testing_support
