#pragma once

#include <QString>

#include <functional>

// Where the firmware file goes for a folder the user picked on the memory card.
struct CardLocation {
  QString path;       // the location that will be used
  bool warn = false;  // the location is not on a removable volume (or an attached image)
};

// The location for the picked folder `picked` (an absolute path): the volume that holds it,
// that is the mount point when that lies in a volume root (for an attached image, its folder
// in the attach root); else the mount point of any other file system than that of "/" or of
// the home folder; otherwise (the system's own disks) the folder cut back to its first two
// levels below "/" when it is deeper, else the folder itself. Warns unless the location lies
// in a volume root.
// `mountPointOf` answers the mount point of a path (the system's, unless a test gives one).
[[nodiscard]] CardLocation cardLocationFor(const QString& picked,
                                           const std::function<QString(const QString&)>& mountPointOf = {});
