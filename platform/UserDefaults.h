#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

class QSettings;

namespace platform {

// The application's user defaults, stored through QSettings (an INI file in the user's
// configuration folder). "AppleLanguages" is a string list; booleans are booleans.
class UserDefaults {
 public:
  static UserDefaults& standard();
  // Points the defaults at another INI file (tests); an empty path restores the default.
  static void setStoragePath(const QString& iniPath);
  // The system's preferred languages used when "AppleLanguages" is not stored (tests may
  // replace them; an empty optional restores the system's own).
  static void setSystemLanguages(std::optional<QStringList> languages);
  [[nodiscard]] static QStringList systemLanguages();

  // The stored list under `key`; for "AppleLanguages" without a stored value the system's
  // preferred languages; otherwise nothing.
  [[nodiscard]] std::optional<QStringList> arrayForKey(const QString& key) const;
  [[nodiscard]] std::optional<QVariant> objectForKey(const QString& key) const;
  [[nodiscard]] bool boolForKey(const QString& key) const;
  void setBool(const QString& key, bool value);
  void setObject(const QString& key, const QVariant& value);
  void removeObject(const QString& key);
  void synchronize();

 private:
  UserDefaults();
  [[nodiscard]] QSettings& settings() const;
  mutable std::unique_ptr<QSettings> settings_;
};

}  // namespace platform
