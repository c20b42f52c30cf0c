#pragma once

#include <QString>

namespace platform {

// Whether `name` stands for one item in one folder and nothing else: not empty, not "." or
// "..", no slash or backslash, no control characters, and no longer than a file system lets
// a name be (kMaxFileNameBytes in UTF-8). Names that come from outside (a service, a camera)
// must pass it before they become part of a path.
inline constexpr qsizetype kMaxFileNameBytes = 255;
[[nodiscard]] bool isPlainFileName(const QString& name);

}  // namespace platform
