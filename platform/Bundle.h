#pragma once

#include <QHash>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>

namespace platform {

// A folder of resources: the application's own (the main bundle) or a localisation folder
// "<code>.lproj" inside it. The main bundle may carry one language bundle that answers every
// localised lookup first; without one, the lookup follows the preferred languages.
class Bundle {
 public:
  // `path` is the bundle's folder; it need not exist.
  explicit Bundle(QString path);
  ~Bundle();
  Bundle(const Bundle&) = delete;
  Bundle& operator=(const Bundle&) = delete;

  // The application's resources: $RAVLIO_RESOURCES, else locateResources() for the running
  // executable.
  static Bundle& main();
  // Points the main bundle at another folder (tests); drops its language bundle and caches.
  static void setMainPath(const QString& path);

  [[nodiscard]] QString bundlePath() const;
  [[nodiscard]] bool exists() const;

  // Info.ini: whether it is there, and a value by key (top-level keys, no section).
  [[nodiscard]] bool hasInfoDictionary() const;
  [[nodiscard]] std::optional<QString> infoValue(const QString& key) const;

  // The absolute path of "<name>.<type>" in the bundle's folder (a file or a folder), or an
  // empty string when there is none. An empty type means the name alone.
  [[nodiscard]] QString pathForResource(const QString& name, const QString& type) const;

  // The text for `key` in table `table` (default "Localizable"); `value` when the key is in no
  // table and `value` is not empty; else the key itself.
  [[nodiscard]] QString localizedString(const QString& key, const QString& value = {},
                                        const QString& table = {}) const;

  // The bundle that answers localised lookups first (nullptr removes it).
  void setLanguageBundle(std::shared_ptr<const Bundle> bundle);
  [[nodiscard]] std::shared_ptr<const Bundle> languageBundle() const;

  // The localisation folder codes this bundle has ("en", "ko", ...).
  [[nodiscard]] QStringList localizations() const;
  // The code of the localisation that answers lookups now: the language bundle's, else the
  // first preferred language with a folder, else "en".
  [[nodiscard]] QString localizationInUse() const;

 private:
  [[nodiscard]] QString lookupInOwnTables(const QString& key, const QString& table, bool* found) const;
  // The first preferred language's folder code that this bundle has; empty when none has one.
  [[nodiscard]] QString preferredLocalization() const;
  [[nodiscard]] QString lookupByPreferredLanguages(const QString& key, const QString& table, bool* found) const;

  QString path_;
  mutable std::mutex mutex_;
  mutable QHash<QString, std::shared_ptr<const QHash<QString, QString>>> tables_;
  mutable QHash<QString, std::shared_ptr<const Bundle>> localizationBundles_;
  std::shared_ptr<const Bundle> languageBundle_;
};

// The folder of the running executable, symbolic links resolved; empty when it cannot be told.
// It is the folder the program started from, also after its file was replaced.
[[nodiscard]] QString executableDirectory();

// A path that the build tree holding `executableDir` records for its programs, by key
// ("Resources", "DiskImage"). A build writes "ravlio-build.ini" at its top; an installed
// program has no such file above it and gets an empty string, so no path of the source tree
// is ever built into the program.
[[nodiscard]] QString buildTreePath(const QString& executableDir, const QString& key);

// The resource folder for a program in `executableDir`: ../share/ravlio (the installed layout,
// whatever the prefix), else "resources" beside it, else the build tree's. Each must hold
// Info.ini. When none does, the installed layout's path, which then reports missing resources.
[[nodiscard]] QString locateResources(const QString& executableDir);

// The localised text of `key` through the main bundle: what every screen shows.
[[nodiscard]] QString localizedString(const QString& key);

// An image by name from the main bundle's "images" folder ("<name>.svg", else "<name>.png").
// A missing name gives a null pixmap. `size` scales an SVG (default: its own size).
[[nodiscard]] QPixmap imageNamed(const QString& name, QSize size = {});

// An icon by name from the same folder, drawn at the sizes desktops ask for (16 to 256 px), so
// no size is scaled from another; a missing name gives a null icon.
[[nodiscard]] QIcon iconNamed(const QString& name);

}  // namespace platform
