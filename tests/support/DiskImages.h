#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

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

}  // namespace testing_support
