#include "platform/UserDefaults.h"

#include <QDir>
#include <QLocale>
#include <QSettings>
#include <QStandardPaths>

#include <mutex>

namespace platform {
namespace {

// One QSettings object is shared by every thread that reads the defaults (the localised
// lookup runs on workers too), and QSettings itself is only reentrant.
std::mutex& defaultsMutex() {
  static std::mutex mutex;
  return mutex;
}

QString& storagePathOverride() {
  static QString path;
  return path;
}

std::optional<QStringList>& systemLanguagesOverride() {
  static std::optional<QStringList> languages;
  return languages;
}

const QString kAppleLanguages = QStringLiteral("AppleLanguages");

}  // namespace

UserDefaults::UserDefaults() = default;

UserDefaults& UserDefaults::standard() {
  static UserDefaults defaults;
  return defaults;
}

void UserDefaults::setStoragePath(const QString& iniPath) {
  std::lock_guard lock(defaultsMutex());
  UserDefaults& defaults = standard();
  if (defaults.settings_) defaults.settings_->sync();
  defaults.settings_.reset();
  storagePathOverride() = iniPath;
}

void UserDefaults::setSystemLanguages(std::optional<QStringList> languages) {
  std::lock_guard lock(defaultsMutex());
  systemLanguagesOverride() = std::move(languages);
}

QStringList UserDefaults::systemLanguages() {
  {
    std::lock_guard lock(defaultsMutex());
    if (systemLanguagesOverride()) return *systemLanguagesOverride();
  }
  return QLocale::system().uiLanguages();
}

QSettings& UserDefaults::settings() const {
  if (!settings_) {
    QString path = storagePathOverride();
    if (path.isEmpty()) {
      path = QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
                 .filePath(QStringLiteral("UserDefaults.ini"));
    }
    settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
  }
  return *settings_;
}

std::optional<QStringList> UserDefaults::arrayForKey(const QString& key) const {
  {
    std::lock_guard lock(defaultsMutex());
    QSettings& s = settings();
    // INI keeps a one-element list as a plain string; both read back as a list.
    if (s.contains(key)) return s.value(key).toStringList();
  }
  if (key == kAppleLanguages) return systemLanguages();
  return std::nullopt;
}

std::optional<QVariant> UserDefaults::objectForKey(const QString& key) const {
  std::lock_guard lock(defaultsMutex());
  QSettings& s = settings();
  if (!s.contains(key)) return std::nullopt;
  return s.value(key);
}

bool UserDefaults::boolForKey(const QString& key) const {
  std::lock_guard lock(defaultsMutex());
  return settings().value(key, false).toBool();
}

void UserDefaults::setBool(const QString& key, bool value) {
  std::lock_guard lock(defaultsMutex());
  settings().setValue(key, value);
}

void UserDefaults::setObject(const QString& key, const QVariant& value) {
  std::lock_guard lock(defaultsMutex());
  settings().setValue(key, value);
}

void UserDefaults::removeObject(const QString& key) {
  std::lock_guard lock(defaultsMutex());
  settings().remove(key);
}

void UserDefaults::synchronize() {
  std::lock_guard lock(defaultsMutex());
  settings().sync();
}

}  // namespace platform
