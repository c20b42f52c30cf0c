#pragma once

#include <QJsonObject>
#include <QString>

#include <cstdint>

namespace firmware_service {

// The bytes of a made-up firmware file: the same for the same name and size, different for
// different names, so that a copy that mixed up or cut two files shows.
[[nodiscard]] bool writeFirmwareFile(const QString& path, const QString& name, std::int64_t size, QString* error);

// Makes the package of one version: a disk image `imagePath` holding the firmware file
// `firmwareName` of `size` bytes. Uses the disk-image tool's `create` at `diskImageTool`.
[[nodiscard]] bool makePackage(const QString& diskImageTool, const QString& imagePath, const QString& firmwareName,
                               std::int64_t size, QString* error);

// Makes the package of every version in the catalogue ("file", "firmwareFile", "firmwareSize")
// in `folder`.
[[nodiscard]] bool makePackages(const QString& diskImageTool, const QJsonObject& catalogue, const QString& folder,
                                QString* error);

}  // namespace firmware_service
