#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>

#include "support/TestFiles.h"
#include "tools/diskimage/DiskImage.h"

namespace testing_support {

// Makes a small disk image at `imagePath` of a folder that `fill` fills: a package as the maker
// ships it (a UDIF image with an HFS+ volume) unless `options` asks for another layout.
inline void makeImage(const QString& imagePath, const std::function<void(const QDir&)>& fill,
                      const diskimage::CreateOptions& options = {}) {
  QTemporaryDir source;
  ASSERT_TRUE(source.isValid());
  fill(QDir(source.path()));
  const diskimage::Outcome made = diskimage::create(source.path(), imagePath, platform::Duration(60), options);
  ASSERT_TRUE(made.ok) << made.line.toStdString();
}

// An image holding just these files (name, bytes).
inline void makeImage(const QString& imagePath, const QList<QPair<QString, QByteArray>>& files,
                      const diskimage::CreateOptions& options = {}) {
  makeImage(
      imagePath,
      [&](const QDir& dir) {
        for (const auto& [name, bytes] : files) writeFile(dir.filePath(name), bytes);
      },
      options);
}

// Bytes like a firmware file's: `repeating` bytes that repeat with a period of 251 bytes, then
// `random` ones that do not compress.
inline QByteArray firmwareBytes(int repeating, int random) {
  QByteArray b;
  b.reserve(repeating + random);
  for (int i = 0; i < repeating; ++i) b.append(static_cast<char>(i % 251));
  std::uint32_t x = 2463534242u;
  for (int i = 0; i < random; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b.append(static_cast<char>(x));
  }
  return b;
}

}  // namespace testing_support
