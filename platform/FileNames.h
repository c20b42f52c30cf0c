#pragma once

#include <QString>

namespace platform {

// Whether `name` stands for one item in one folder and nothing else: not empty, not "." or
// "..", no slash or backslash, no control characters. Names that come from outside (a
// service, a camera) must pass it before they become part of a path.
[[nodiscard]] bool isPlainFileName(const QString& name);

}  // namespace platform
