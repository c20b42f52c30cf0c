#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <functional>

#include "support/TestFiles.h"
#include "tools/diskimage/DiskImage.h"
#include "tools/diskimage/FileTree.h"

namespace testing_support {

// The time the tests give the tool and 7-Zip for one step: room for sanitizer builds on a busy
// machine.
inline const platform::Duration kTimeout{60};

// Makes a small disk image at `imagePath` of a folder that `fill` fills: a package as the maker
// ships it (a UDIF image with an HFS+ volume) unless `options` asks for another layout.
inline void makeImage(const QString& imagePath, const std::function<void(const QDir&)>& fill,
                      const diskimage::CreateOptions& options = {}) {
  QTemporaryDir source;
  ASSERT_TRUE(source.isValid());
  fill(QDir(source.path()));
  const diskimage::Outcome made = diskimage::create(source.path(), imagePath, kTimeout, options);
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

// Everything in `folder`, names as the bytes they are (they need not be UTF-8), in byte order.
inline QList<QByteArray> namesIn(const QString& folder) {
  QList<QByteArray> names;
  for (const auto& e : diskimage::tree::entriesOf(QFile::encodeName(folder))) names.append(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

// The same, shown as UTF-8.
inline QStringList entriesIn(const QString& folder) {
  QStringList shown;
  for (const QByteArray& n : namesIn(folder)) shown.append(QString::fromUtf8(n));
  return shown;
}

// A folder of the test's own with an attach root in it, and what the root holds.
class AttachRootTest : public ::testing::Test {
 protected:
  QString root() const { return dir_.filePath(QStringLiteral("Volumes")); }
  // All the root holds, holders' records too.
  QStringList rootEntries() const { return entriesIn(root()); }
  // The folders in the root, without the records of who holds them.
  QStringList volumes() const {
    QStringList v = rootEntries();
    v.removeIf([](const QString& name) { return name.startsWith(QStringLiteral(".held-")); });
    return v;
  }
  QTemporaryDir dir_;
};

}  // namespace testing_support
