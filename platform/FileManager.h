#pragma once

#include <QString>

#include <optional>

namespace platform {

// The size in bytes of the item at `path` (a link's own size, not its target's); nothing when
// there is no such item.
[[nodiscard]] std::optional<qint64> fileSize(const QString& path);

}  // namespace platform
