#include "firmware/DownloadRules.h"

#include <QDir>
#include <QHostAddress>

#include <climits>
#include <cmath>

namespace download_rules {
namespace {

// The index of the dot that starts the extension of the last path component, or -1.
qsizetype extensionDot(const QString& name) {
  const qsizetype slash = name.lastIndexOf(u'/');
  const qsizetype dot = name.lastIndexOf(u'.');
  if (dot <= slash + 1 || dot == name.size() - 1) return -1;
  return dot;
}

}  // namespace

bool isAllowedDownloadUrl(const QUrl& url) {
  if (!url.isValid() || url.host().isEmpty()) return false;
  const QString scheme = url.scheme().toLower();
  if (scheme == QStringLiteral("https")) return true;
  if (scheme != QStringLiteral("http")) return false;
  if (url.host().compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0) return true;
  const QHostAddress address(url.host());
  return !address.isNull() && address.isLoopback();
}

std::optional<QUrl> downloadUrl(const QString& link) {
  const QUrl url(link, QUrl::StrictMode);
  if (!isAllowedDownloadUrl(url)) return std::nullopt;
  return url;
}

int percentFromFraction(double fraction) {
  if (!std::isfinite(fraction)) return 0;
  const double percent = std::trunc(fraction * 100.0);
  if (percent <= 0.0) return 0;
  if (percent >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(percent);
}

std::optional<QString> workingFolder(const QString& cachesDirectory, const std::optional<QString>& bundleIdentifier,
                                     const QString& fallbackIdentifier) {
  if (cachesDirectory.isEmpty()) return std::nullopt;
  const QString identifier = bundleIdentifier && !bundleIdentifier->isEmpty() ? *bundleIdentifier : fallbackIdentifier;
  return QDir::cleanPath(cachesDirectory + u'/' + identifier);
}

QString deletingPathExtension(const QString& name) {
  const qsizetype dot = extensionDot(name);
  return dot < 0 ? name : name.left(dot);
}

QString pathExtension(const QString& name) {
  const qsizetype dot = extensionDot(name);
  return dot < 0 ? QString() : name.mid(dot + 1);
}

}  // namespace download_rules
