#include "tools/firmware-service/FirmwarePackages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>

#include <vector>

#include "platform/CommandRunner.h"
#include "platform/FileNames.h"

namespace firmware_service {
namespace {
// Long enough for the disk-image tool to make the largest package (a benchmark's 256 MiB).
constexpr double kToolTimeoutSeconds = 120.0;
}  // namespace

bool writeFirmwareFile(const QString& path, const QString& name, std::int64_t size, QString* error) {
  QFile file(path);
  if (size < 0 || !file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    *error = path + QStringLiteral(": ") + file.errorString();
    return false;
  }
  // FNV-1a of the name seeds a xorshift generator.
  std::uint64_t state = 1469598103934665603ULL;
  for (const char c : name.toUtf8()) state = (state ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  if (state == 0) state = 1;
  std::vector<std::uint64_t> block(128 * 1024);
  for (std::int64_t left = size; left > 0;) {
    for (std::uint64_t& word : block) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      word = state;
    }
    const qint64 n = std::min<std::int64_t>(left, static_cast<std::int64_t>(block.size() * sizeof(std::uint64_t)));
    if (file.write(reinterpret_cast<const char*>(block.data()), n) != n) {
      *error = path + QStringLiteral(": ") + file.errorString();
      return false;
    }
    left -= n;
  }
  return true;
}

bool makePackage(const QString& diskImageTool, const QString& imagePath, const QString& firmwareName,
                 std::int64_t size, QString* error) {
  QTemporaryDir staging(QFileInfo(imagePath).absolutePath() + QStringLiteral("/.staging-XXXXXX"));
  if (!staging.isValid()) {
    *error = QStringLiteral("cannot make a staging folder beside ") + imagePath;
    return false;
  }
  if (!writeFirmwareFile(staging.filePath(firmwareName), firmwareName, size, error)) return false;
  const platform::CommandResult made = platform::runCommand(
      diskImageTool, {QStringLiteral("create"), staging.path(), imagePath}, platform::Duration(kToolTimeoutSeconds));
  if (!made.succeeded()) {
    *error = imagePath + QStringLiteral(": ") + QString::fromUtf8(made.standardOutput).trimmed();
    return false;
  }
  return true;
}

bool makePackages(const QString& diskImageTool, const QJsonObject& catalogue, const QString& folder, QString* error) {
  if (!QDir().mkpath(folder)) {
    *error = QStringLiteral("cannot make ") + folder;
    return false;
  }
  const QJsonObject models = catalogue.value(QStringLiteral("models")).toObject();
  for (const QString& model : models.keys()) {
    for (const QJsonValue& v : models.value(model).toObject().value(QStringLiteral("versions")).toArray()) {
      const QJsonObject version = v.toObject();
      const QString file = version.value(QStringLiteral("file")).toString();
      const QString firmware = version.value(QStringLiteral("firmwareFile")).toString();
      const auto size = static_cast<std::int64_t>(version.value(QStringLiteral("firmwareSize")).toDouble(-1));
      if (size < 0 || !platform::isPlainFileName(file) || !platform::isPlainFileName(firmware)) {
        *error = model + QStringLiteral(": a version without file, firmwareFile or firmwareSize");
        return false;
      }
      if (!makePackage(diskImageTool, QDir(folder).filePath(file), firmware, size, error)) return false;
    }
  }
  return true;
}

}  // namespace firmware_service
