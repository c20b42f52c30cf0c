#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include "firmware/FirmwareFileDownloadViewController.h"
#include "platform/Volumes.h"

// Points the caches folder (and so the working folder) and the attach root into a temporary
// folder of their own while it lives, and removes them afterwards. The temporary folder's name
// begins with `name`, when given; with `ownAttachRoot` false the attach root is where the
// program puts it, under the caches folder.
class TemporaryFirmwareFolders {
 public:
  explicit TemporaryFirmwareFolders(const QString& name = {}, bool ownAttachRoot = true)
      : dir_(QDir::tempPath() + u'/' + (name.isEmpty() ? QCoreApplication::applicationName() : name) +
             QStringLiteral("-XXXXXX")),
        ownAttachRoot_(ownAttachRoot),
        savedCache_(qgetenv("XDG_CACHE_HOME")) {
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir_.filePath(QStringLiteral("cache"))));
    if (ownAttachRoot_) {
      qputenv("RAVLIO_ATTACH_ROOT", QFile::encodeName(attachRoot()));
    } else {
      qunsetenv("RAVLIO_ATTACH_ROOT");
    }
    QDir().mkpath(workingFolder());
  }
  ~TemporaryFirmwareFolders() {
    qunsetenv("RAVLIO_ATTACH_ROOT");
    if (savedCache_.isEmpty()) {
      qunsetenv("XDG_CACHE_HOME");
    } else {
      qputenv("XDG_CACHE_HOME", savedCache_);
    }
  }
  TemporaryFirmwareFolders(const TemporaryFirmwareFolders&) = delete;
  TemporaryFirmwareFolders& operator=(const TemporaryFirmwareFolders&) = delete;

  [[nodiscard]] bool isValid() const { return dir_.isValid() && QDir(workingFolder()).exists(); }
  QString attachRoot() const { return ownAttachRoot_ ? dir_.filePath(QStringLiteral("Volumes")) : platform::attachRoot(); }
  QString workingFolder() const { return FirmwareFileDownloadViewController::downloadFolderURL()->toLocalFile(); }
  QString path(const QString& name) const { return dir_.filePath(name); }
  // What is left attached.
  QStringList attached() const {
    return QDir(attachRoot()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  }

 private:
  QTemporaryDir dir_;
  bool ownAttachRoot_;
  QByteArray savedCache_;
};

// Gives every test its own working folder and attach root.
class FirmwareFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    folders_ = std::make_unique<TemporaryFirmwareFolders>();
    ASSERT_TRUE(folders_->isValid());
  }
  void TearDown() override { folders_.reset(); }

  QString attachRoot() const { return folders_->attachRoot(); }
  QString workingFolder() const { return folders_->workingFolder(); }
  QString path(const QString& name) const { return folders_->path(name); }
  QStringList attached() const { return folders_->attached(); }

 private:
  std::unique_ptr<TemporaryFirmwareFolders> folders_;
};
