#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace diskimage {

// How many bytes the disk in the UDIF image at `path` holds once unpacked: the sum of the
// sectors its block tables describe, read from the trailer and the property list alone (no
// chunk is read). nullopt when the file is no UDIF image we can read so.
[[nodiscard]] std::optional<std::uint64_t> udifDiskBytes(const QString& path);

}  // namespace diskimage
