#include "tools/firmware-service/FirmwarePackages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>

#include <cstring>
#include <vector>

#include "platform/CommandRunner.h"
#include "platform/FileNames.h"

namespace firmware_service {
namespace {
// Long enough for the disk-image tool to make the largest package (a benchmark's 256 MiB, whose
// bzip2 chunks take the writer most of a minute on one core).
constexpr double kToolTimeoutSeconds = 300.0;

// A xorshift generator seeded with FNV-1a of a name.
class NameSeeded {
 public:
  explicit NameSeeded(const QString& name) {
    for (const char c : name.toUtf8()) state_ = (state_ ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    if (state_ == 0) state_ = 1;
  }
  std::uint64_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  // A number in [low, high).
  std::int64_t between(std::int64_t low, std::int64_t high) {
    return low + static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(high - low));
  }

 private:
  std::uint64_t state_ = 1469598103934665603ULL;
};

// Random words, all of the block.
void fillIncompressible(NameSeeded& random, std::vector<char>& block) {
  for (std::size_t at = 0; at + sizeof(std::uint64_t) <= block.size(); at += sizeof(std::uint64_t)) {
    const std::uint64_t word = random.next();
    std::memcpy(block.data() + at, &word, sizeof word);
  }
}

// Runs of random bytes and runs of a repeated 1 to 16 byte pattern, alternately, each 512 B to
// 8 KiB long, so that a 1 MiB chunk holds many of both. The run in progress carries over from
// one block to the next.
class CompressibleFiller {
 public:
  void fill(NameSeeded& random, std::vector<char>& block) {
    for (std::size_t at = 0; at < block.size();) {
      if (left_ == 0) startRun(random);
      const auto n = static_cast<std::size_t>(std::min<std::int64_t>(left_, static_cast<std::int64_t>(block.size() - at)));
      for (std::size_t i = 0; i < n; ++i, ++position_) {
        if (repeated_) {
          block[at + i] = pattern_[position_ % period_];
        } else {
          if (position_ % sizeof(std::uint64_t) == 0) word_ = random.next();
          block[at + i] = static_cast<char>(word_ >> (8 * (position_ % sizeof(std::uint64_t))));
        }
      }
      at += n;
      left_ -= static_cast<std::int64_t>(n);
    }
  }

 private:
  void startRun(NameSeeded& random) {
    repeated_ = !repeated_;
    left_ = random.between(512, 8192);
    position_ = 0;
    if (repeated_) {
      period_ = std::size_t{1} << random.between(0, 5);
      const std::uint64_t a = random.next(), b = random.next();
      std::memcpy(pattern_, &a, sizeof a);
      std::memcpy(pattern_ + sizeof a, &b, sizeof b);
    }
  }

  bool repeated_ = true;  // the file starts with random bytes
  std::int64_t left_ = 0;
  std::size_t position_ = 0;
  std::size_t period_ = 1;
  char pattern_[16] = {};
  std::uint64_t word_ = 0;
};

}  // namespace

bool writeFirmwareFile(const QString& path, const QString& name, std::int64_t size, QString* error,
                       FirmwareContent content) {
  QFile file(path);
  if (size < 0 || !file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    *error = path + QStringLiteral(": ") + file.errorString();
    return false;
  }
  NameSeeded random(name);
  CompressibleFiller compressible;
  std::vector<char> block(1024 * 1024);
  for (std::int64_t left = size; left > 0;) {
    if (content == FirmwareContent::Compressible) {
      compressible.fill(random, block);
    } else {
      fillIncompressible(random, block);
    }
    const qint64 n = std::min<std::int64_t>(left, static_cast<std::int64_t>(block.size()));
    if (file.write(block.data(), n) != n) {
      *error = path + QStringLiteral(": ") + file.errorString();
      return false;
    }
    left -= n;
  }
  return true;
}

bool makePackage(const QString& diskImageTool, const QString& imagePath, const QString& firmwareName,
                 std::int64_t size, QString* error, const PackageOptions& options) {
  QTemporaryDir staging(QFileInfo(imagePath).absolutePath() + QStringLiteral("/.staging-XXXXXX"));
  if (!staging.isValid()) {
    *error = QStringLiteral("cannot make a staging folder beside ") + imagePath;
    return false;
  }
  if (!writeFirmwareFile(staging.filePath(firmwareName), firmwareName, size, error, options.content)) return false;
  QStringList arguments{QStringLiteral("create")};
  if (!options.chunks.isEmpty()) arguments << QStringLiteral("--chunks") << options.chunks;
  arguments << staging.path() << imagePath;
  const platform::CommandResult made =
      platform::runCommand(diskImageTool, arguments, platform::Duration(kToolTimeoutSeconds));
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
