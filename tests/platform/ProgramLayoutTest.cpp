#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <chrono>

#include "platform/Bundle.h"
#include "platform/Queues.h"
#include "platform/Volumes.h"

#include "support/TestFiles.h"

namespace {

using testing_support::readFile;
using testing_support::writeFile;

constexpr const char* kHandshakeVariable = "RAVLIO_LAYOUT_HANDSHAKE";

bool waitForFile(const QString& path) {
  return platform::processEventsUntil([&path] { return QFileInfo::exists(path); }, std::chrono::seconds(20));
}

// Program layouts side by side in one folder: an installed prefix, a build tree (whose source
// folder has a comma in its name, as a user's checkout may), a prefix installed inside that
// build tree, a bundle-like folder, and a bare prefix with nothing installed.
class ProgramLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.isValid());
    writeFile(path("usr/share/ravlio/Info.ini"), "CFBundleName=Ravlio\n");
    tool(QStringLiteral("usr/libexec/ravlio/diskimage"));
    QDir().mkpath(path("usr/bin"));

    writeFile(path("src, v2/resources/Info.ini"), "CFBundleName=Ravlio\n");
    writeFile(path("build/ravlio-build.ini"),
              ("Resources=" + path("src, v2/resources") + "\nDiskImage=" +
               path("build/tools/diskimage/diskimage") + "\n")
                  .toUtf8());
    tool(QStringLiteral("build/tools/diskimage/diskimage"));
    QDir().mkpath(path("build/app"));

    writeFile(path("build/stage/share/ravlio/Info.ini"), "CFBundleName=Ravlio\n");
    tool(QStringLiteral("build/stage/libexec/ravlio/diskimage"));
    QDir().mkpath(path("build/stage/bin"));
    // Resources without their Info.ini, and a tool that cannot run, are not taken.
    QDir().mkpath(path("build/broken/share/ravlio/images"));
    writeFile(path("build/broken/libexec/ravlio/diskimage"), "#!/bin/sh\n");
    QDir().mkpath(path("build/broken/bin"));

    writeFile(path("bundle/resources/Info.ini"), "CFBundleName=Ravlio\n");
    tool(QStringLiteral("bundle/diskimage"));

    QDir().mkpath(path("bare/bin"));
  }

  QString path(const QString& relative) const { return QDir(root_.path()).filePath(relative); }
  void tool(const QString& relative) const {
    writeFile(path(relative), "#!/bin/sh\n");
    QFile(path(relative)).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }

  QTemporaryDir root_;
};

TEST_F(ProgramLayout, FindsResourcesAndToolFromTheExecutablesFolder) {
  struct Case {
    const char* executableDir;
    const char* resources;
    const char* tool;
  };
  const Case cases[] = {
      {.executableDir = "usr/bin", .resources = "usr/share/ravlio", .tool = "usr/libexec/ravlio/diskimage"},
      {.executableDir = "build/app", .resources = "src, v2/resources", .tool = "build/tools/diskimage/diskimage"},
      {.executableDir = "build/stage/bin", .resources = "build/stage/share/ravlio",
       .tool = "build/stage/libexec/ravlio/diskimage"},
      {.executableDir = "build/broken/bin", .resources = "src, v2/resources",
       .tool = "build/tools/diskimage/diskimage"},
      {.executableDir = "bundle", .resources = "bundle/resources", .tool = "bundle/diskimage"},
      // Nothing there: the installed layout's paths, which then report themselves missing.
      {.executableDir = "bare/bin", .resources = "bare/share/ravlio", .tool = "bare/libexec/ravlio/diskimage"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.executableDir);
    const QString exeDir = path(QString::fromUtf8(c.executableDir));
    EXPECT_EQ(platform::locateResources(exeDir), path(QString::fromUtf8(c.resources)));
    EXPECT_EQ(platform::locateDiskImageTool(exeDir), path(QString::fromUtf8(c.tool)));
  }
}

TEST_F(ProgramLayout, OnlyABuildTreeRecordsPaths) {
  EXPECT_EQ(platform::buildTreePath(path("build/tools/diskimage"), QStringLiteral("Resources")),
            path("src, v2/resources"));
  EXPECT_EQ(platform::buildTreePath(path("build/app"), QStringLiteral("Unknown")), QString());
  EXPECT_EQ(platform::buildTreePath(path("usr/bin"), QStringLiteral("Resources")), QString());
  EXPECT_EQ(platform::buildTreePath(QString(), QStringLiteral("Resources")), QString());
}

// This test program lives in the real build tree: what the build recorded must be found.
TEST(ProgramLayoutOfThisBuild, FindsTheSourceResourcesAndTheBuiltTool) {
  const QString exeDir = platform::executableDirectory();
  ASSERT_FALSE(exeDir.isEmpty());
  EXPECT_EQ(platform::locateResources(exeDir), QDir::cleanPath(QStringLiteral(RAVLIO_SOURCE_RESOURCES)));
  const QFileInfo tool(platform::locateDiskImageTool(exeDir));
  EXPECT_TRUE(tool.isExecutable()) << tool.filePath().toStdString();
  EXPECT_EQ(tool.fileName(), QStringLiteral("diskimage"));
}

// A package upgrade renames a new program file over the running one. The running copy still
// finds its folder, where its resources and its disk-image tool lie.
TEST(ProgramLayoutOfThisBuild, KeepsItsFolderWhenItsFileIsReplaced) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString folder = QDir(root.path()).filePath(QStringLiteral("bin"));
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString program = folder + QStringLiteral("/tests_platform");
  ASSERT_TRUE(QFile::copy(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath(), program));
  const QString handshake = root.path();
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QString::fromLatin1(kHandshakeVariable), handshake);
  QProcess child;
  child.setProcessEnvironment(environment);
  child.start(program, {QStringLiteral("--gtest_filter=ProgramLayoutChild.*")});
  ASSERT_TRUE(child.waitForStarted());
  ASSERT_TRUE(waitForFile(handshake + QStringLiteral("/ready"))) << child.readAllStandardOutput().toStdString();

  ASSERT_TRUE(QFile::copy(program, program + QStringLiteral(".new")));
  ASSERT_EQ(std::rename(qPrintable(program + QStringLiteral(".new")), qPrintable(program)), 0);
  writeFile(handshake + QStringLiteral("/replaced"), "");
  ASSERT_TRUE(child.waitForFinished(30000));
  EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().toStdString();

  const QString answer = handshake + QStringLiteral("/answer");
  ASSERT_TRUE(QFileInfo::exists(answer));
  const QString expected = QFileInfo(folder).canonicalFilePath();
  EXPECT_EQ(readFile(answer).toStdString(), (expected + u'\n' + expected).toStdString());
}

// The child's side of the test above; skipped in an ordinary run.
TEST(ProgramLayoutChild, TellsItsFolderBeforeAndAfterItsFileIsReplaced) {
  const QString handshake = qEnvironmentVariable(kHandshakeVariable);
  if (handshake.isEmpty()) GTEST_SKIP() << "runs only as the child of KeepsItsFolderWhenItsFileIsReplaced";
  const QString before = platform::executableDirectory();
  writeFile(handshake + QStringLiteral("/ready"), "");
  ASSERT_TRUE(waitForFile(handshake + QStringLiteral("/replaced")));
  const QString after = platform::executableDirectory();
  writeFile(handshake + QStringLiteral("/answer"), (before + u'\n' + after).toUtf8());
}

TEST(ApplicationIcon, IsDrawnAtEverySizeDesktopsAskFor) {
  const QString original = platform::Bundle::main().bundlePath();
  platform::Bundle::setMainPath(QStringLiteral(RAVLIO_SOURCE_RESOURCES));
  const QIcon icon = platform::iconNamed(QStringLiteral("icon_app"));
  for (const int side : {16, 32, 48, 256}) {
    SCOPED_TRACE(side);
    EXPECT_TRUE(icon.availableSizes().contains(QSize(side, side)));
    // Drawn, not blank: the tile's corner is clear and its middle painted.
    const QImage image = icon.pixmap(QSize(side, side), 1.0).toImage();
    ASSERT_EQ(image.size(), QSize(side, side));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(side / 2, side / 2)), 255);
  }
  EXPECT_TRUE(platform::iconNamed(QStringLiteral("no_such_icon")).isNull());
  platform::Bundle::setMainPath(original);
}

}  // namespace
