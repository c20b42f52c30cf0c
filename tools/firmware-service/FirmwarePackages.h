#pragma once

#include <QJsonObject>
#include <QString>

#include <cstdint>

namespace firmware_service {

// What a made-up firmware file holds: random bytes that no compressor shrinks, or runs of random
// bytes between runs of a repeated byte or short pattern (as padding and tables are in real
// firmware), which shrink to about half.
enum class FirmwareContent { Incompressible, Compressible };

// The bytes of a made-up firmware file: the same for the same name, size and content, different
// for different names, so that a copy that mixed up or cut two files shows.
[[nodiscard]] bool writeFirmwareFile(const QString& path, const QString& name, std::int64_t size, QString* error,
                                     FirmwareContent content = FirmwareContent::Incompressible);

struct PackageOptions {
  FirmwareContent content = FirmwareContent::Incompressible;
  QString chunks;  // the disk-image tool's --chunks (zlib, bzip2, raw); empty: the tool's default
};

// Makes the package of one version: a disk image `imagePath` holding the firmware file
// `firmwareName` of `size` bytes. Uses the disk-image tool's `create` at `diskImageTool`.
[[nodiscard]] bool makePackage(const QString& diskImageTool, const QString& imagePath, const QString& firmwareName,
                               std::int64_t size, QString* error, const PackageOptions& options = {});

// Makes the package of every version in the catalogue ("file", "firmwareFile", "firmwareSize")
// in `folder`.
[[nodiscard]] bool makePackages(const QString& diskImageTool, const QJsonObject& catalogue, const QString& folder,
                                QString* error);

}  // namespace firmware_service
