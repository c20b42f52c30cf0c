#include <gtest/gtest.h>

#include <QByteArray>
#include <QTemporaryDir>

#include "support/TestFiles.h"
#include "tools/firmware-service/FirmwarePackages.h"

namespace {

using firmware_service::FirmwareContent;

QByteArray firmware(const QTemporaryDir& dir, const QString& name, qint64 size, FirmwareContent content) {
  const QString path = dir.filePath(name + QStringLiteral(".fir"));
  QString error;
  EXPECT_TRUE(firmware_service::writeFirmwareFile(path, name, size, &error, content)) << error.toStdString();
  return testing_support::readFile(path);
}

// What the packages' 1 MiB chunks shrink to at zlib's fastest level, over the whole file.
double zlibRatio(const QByteArray& data) {
  qint64 packed = 0;
  for (qsizetype at = 0; at < data.size(); at += 1 << 20) packed += qCompress(data.mid(at, 1 << 20), 1).size() - 4;
  return static_cast<double>(data.size()) / static_cast<double>(packed);
}

// The benchmarks rely on the two kinds of content: one the chunk writer stores raw, one that
// each chunk halves.
TEST(FirmwarePackages, ContentCompressesAsItsKindSays) {
  QTemporaryDir dir;
  const qint64 size = 4 * 1024 * 1024 + 123;
  const QByteArray random = firmware(dir, QStringLiteral("RANDOM"), size, FirmwareContent::Incompressible);
  const QByteArray runs = firmware(dir, QStringLiteral("RUNS"), size, FirmwareContent::Compressible);
  ASSERT_EQ(random.size(), size);
  ASSERT_EQ(runs.size(), size);
  EXPECT_LT(zlibRatio(random), 1.0);
  EXPECT_GT(zlibRatio(runs), 1.8);
  EXPECT_LT(zlibRatio(runs), 2.2);
}

TEST(FirmwarePackages, ContentFollowsNameSizeAndKind) {
  QTemporaryDir dir;
  for (const FirmwareContent content : {FirmwareContent::Incompressible, FirmwareContent::Compressible}) {
    const QByteArray a = firmware(dir, QStringLiteral("A"), 3 * 1024 * 1024 + 5, content);
    EXPECT_EQ(firmware(dir, QStringLiteral("A"), 3 * 1024 * 1024 + 5, content), a);
    EXPECT_NE(firmware(dir, QStringLiteral("B"), 3 * 1024 * 1024 + 5, content), a);
    // A shorter file of the same name is a cut copy of the longer one.
    EXPECT_EQ(firmware(dir, QStringLiteral("A"), 1000, content), a.left(1000));
  }
  EXPECT_NE(firmware(dir, QStringLiteral("A"), 4096, FirmwareContent::Compressible),
            firmware(dir, QStringLiteral("A"), 4096, FirmwareContent::Incompressible));
}

}  // namespace
