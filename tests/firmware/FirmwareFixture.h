#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "firmware/FirmwareFileDownloadViewController.h"
#include "platform/Volumes.h"

// Gives every test its own caches folder (so its own working folder) and attach root, and
// removes them afterwards.
class FirmwareFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    savedCache_ = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir_.filePath(QStringLiteral("cache"))));
    qputenv("RAVLIO_ATTACH_ROOT", QFile::encodeName(attachRoot()));
    ASSERT_TRUE(QDir().mkpath(workingFolder()));
  }
  void TearDown() override {
    qunsetenv("RAVLIO_ATTACH_ROOT");
    if (savedCache_.isEmpty()) {
      qunsetenv("XDG_CACHE_HOME");
    } else {
      qputenv("XDG_CACHE_HOME", savedCache_);
    }
  }

  QString attachRoot() const { return dir_.filePath(QStringLiteral("Volumes")); }
  QString workingFolder() const { return FirmwareFileDownloadViewController::downloadFolderURL()->toLocalFile(); }
  QString path(const QString& name) const { return dir_.filePath(name); }
  // What is left attached.
  QStringList attached() const {
    return QDir(attachRoot()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  }

  QTemporaryDir dir_;
  QByteArray savedCache_;
};
