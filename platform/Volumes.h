#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace platform {

// Where the program keeps its working files: the user's XDG cache folder.
[[nodiscard]] QString cachesDirectory();

// The folder under which the disk-image tool mounts (extracts) images: $RAVLIO_ATTACH_ROOT
// when set, else "ravlio/Volumes" in the cache folder. The application and the tool agree on
// it through this one function (and the variable, across processes).
[[nodiscard]] QString attachRoot();

// The disk-image tool (attach, detach): $RAVLIO_DISKIMAGE when set, else
// locateDiskImageTool() for the running executable.
[[nodiscard]] QString diskImageToolPath();

// The disk-image tool for a program in `executableDir`: "diskimage" beside it, else
// ../libexec/ravlio/diskimage (the installed layout), else the one its build tree made. When
// none is there, the installed layout's path, so that running it fails with a clear message.
[[nodiscard]] QString locateDiskImageTool(const QString& executableDir);

// The folders that mounted volumes sit in: the removable-media roots /media/<user> and
// /run/media/<user>, and the attach root. Tests replace them (nullopt restores the default).
[[nodiscard]] QStringList volumeRoots();
void setVolumeRootsForTesting(std::optional<QStringList> roots);

// Mounted volumes, as folder paths: every mount point the system lists that lies in a volume
// root, then the attached images (the attach root's folders), each in name order.
[[nodiscard]] QStringList mountedVolumes();

// The mount point of the file system that holds `path` (an existing path); empty when unknown.
[[nodiscard]] QString mountPointOf(const QString& path);

// Whether `path` is one of the volume roots or lies inside one, compared by whole path
// components after cleaning ("/media/user2" does not lie in "/media/user").
[[nodiscard]] bool liesInVolumeRoot(const QString& path);
[[nodiscard]] bool pathLiesIn(const QString& path, const QString& folder);

}  // namespace platform
