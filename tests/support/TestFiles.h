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

// The whole content of the file at `path`; empty where it cannot be read.
inline QByteArray readFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes `bytes` to `path`, making its folders.
inline void writeFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  f.write(bytes);
}

// The names of everything in `folder`, hidden entries too, in name order.
inline QStringList entriesWithHidden(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
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

// Sets the environment variable `name` to `value` while it lives, then puts back what was there
// before, unset included.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const QString& value) : name_(name), had_(qEnvironmentVariableIsSet(name)) {
    if (had_) saved_ = qgetenv(name);
    qputenv(name, QFile::encodeName(value));
  }
  ~ScopedEnvironment() {
    if (had_) {
      qputenv(name_, saved_);
    } else {
      qunsetenv(name_);
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  bool had_;
  QByteArray saved_;
};

}  // namespace testing_support
