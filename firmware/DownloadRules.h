#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// The rules of the firmware download and extraction that need no screen.
namespace download_rules {

// The link as a URL to download from: https to any host, http only to a loopback host (the
// local firmware service). Nothing for anything else.
[[nodiscard]] std::optional<QUrl> downloadUrl(const QString& link);
[[nodiscard]] bool isAllowedDownloadUrl(const QUrl& url);

// The percentage shown for a fraction done: truncated toward zero, never negative, not capped
// at 100; 0 for a fraction that is not a finite number.
[[nodiscard]] int percentFromFraction(double fraction);

// The working folder: the caches folder plus the bundle identifier, or the fallback when the
// identifier is missing or empty. Nothing without a caches folder.
[[nodiscard]] std::optional<QString> workingFolder(const QString& cachesDirectory,
                                                   const std::optional<QString>& bundleIdentifier,
                                                   const QString& fallbackIdentifier);

// A file name without its last extension: only what follows the last dot goes, and a name
// that starts with its only dot keeps it (".dmg" stays ".dmg").
[[nodiscard]] QString deletingPathExtension(const QString& name);
// The extension of a name by the same rule; empty when there is none.
[[nodiscard]] QString pathExtension(const QString& name);

}  // namespace download_rules
