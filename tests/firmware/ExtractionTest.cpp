#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include "firmware/FirmwareFileDownloadViewController.h"
#include "firmware/FirmwareFixture.h"
#include "platform/CommandRunner.h"
#include "support/DiskImages.h"
#include "support/TestFiles.h"

namespace {

using Screen = FirmwareFileDownloadViewController;
using testing_support::makeImage;
using testing_support::writeFile;

CameraFirmwareInfo entry(const QString& fileName) {
  CameraFirmwareInfo info;
  info.fileName = fileName;
  return info;
}

// Answers the disk-image tool's runs with fixed outputs and records them.
class ScriptedTool final : public platform::CommandRunner {
 public:
  platform::CommandResult attach;
  platform::CommandResult detach = exited(0, "ejected\n");
  QStringList calls;

  static platform::CommandResult exited(int status, const QByteArray& out) {
    platform::CommandResult r;
    r.outcome = platform::CommandResult::Outcome::Exited;
    r.exitStatus = status;
    r.standardOutput = out;
    return r;
  }
  platform::CommandResult run(const QString&, const QStringList& args, platform::Duration) override {
    calls.append(args.join(u' '));
    return args.value(0) == QStringLiteral("attach") ? attach : detach;
  }
};

class Extraction : public FirmwareFolders {};

TEST_F(Extraction, TakesTheFirmwareFileOutAndDetaches) {
  const QString image = path(QStringLiteral("Tavo Quill FW120.dmg"));
  makeImage(image, {{QStringLiteral("QUILL_120.FIR"), "firmware bytes"}, {QStringLiteral("readme.txt"), "text"}});
  writeFile(workingFolder() + QStringLiteral("/QUILL_120.FIR"), "an older file");  // replaced

  const std::optional<QUrl> extracted =
      Screen::extractFirmwareFromImage(entry(QStringLiteral("Tavo Quill FW120.dmg")), QUrl::fromLocalFile(image));
  ASSERT_TRUE(extracted);
  EXPECT_EQ(extracted->toLocalFile(), workingFolder() + QStringLiteral("/QUILL_120.FIR"));
  EXPECT_EQ(testing_support::readFile(extracted->toLocalFile()), "firmware bytes");
  EXPECT_TRUE(attached().isEmpty()) << attached().join(u' ').toStdString();
}

// Every failure after the attach still detaches, and nothing is left in the working folder.
TEST_F(Extraction, FailuresTable) {
  struct Case {
    const char* name;
    std::function<void(const QDir&)> fill;  // nullptr: not an image at all
  };
  const Case cases[] = {
      {"no firmware file", [](const QDir& d) { writeFile(d.filePath(QStringLiteral("readme.txt")), "text"); }},
      {"firmware file only in a sub-folder", [](const QDir& d) { writeFile(d.filePath(QStringLiteral("sub/A.FIR")), "x"); }},
      {"firmware name on a folder", [](const QDir& d) { writeFile(d.filePath(QStringLiteral("A.FIR/inside")), "x"); }},
      {"firmware name on a link",
       [](const QDir& d) {
         writeFile(d.filePath(QStringLiteral("data.bin")), "x");
         QFile::link(QStringLiteral("data.bin"), d.filePath(QStringLiteral("A.FIR")));
       }},
      {"hidden firmware file", [](const QDir& d) { writeFile(d.filePath(QStringLiteral(".A.FIR")), "x"); }},
      {"empty firmware file", [](const QDir& d) { writeFile(d.filePath(QStringLiteral("A.FIR")), ""); }},
      {"not a disk image", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString image = path(QStringLiteral("pkg.dmg"));
    if (c.fill) {
      makeImage(image, c.fill);
    } else {
      writeFile(image, QByteArray(8192, 'z'));
    }
    EXPECT_EQ(Screen::extractFirmwareFromImage(entry(QStringLiteral("pkg.dmg")), QUrl::fromLocalFile(image)), std::nullopt);
    EXPECT_TRUE(attached().isEmpty()) << attached().join(u' ').toStdString();
    EXPECT_TRUE(QDir(workingFolder()).entryList(QDir::Files | QDir::Hidden).isEmpty());
  }
}

TEST_F(Extraction, AttachOutputTable) {
  struct Case {
    const char* name;
    platform::CommandResult result;
    bool attached;
    bool detachedAnyway;
  };
  using R = platform::CommandResult;
  R timedOut;
  timedOut.outcome = R::Outcome::TimedOut;
  const QByteArray mount = QFile::encodeName(attachRoot() + QStringLiteral("/pkg"));
  // The tool is judged by its exit status and its own failure line, never by a word that a
  // folder or a package may be named with.
  const Case cases[] = {
      {"mount point printed", ScriptedTool::exited(0, mount + "\n"), true, false},
      {"failure line", ScriptedTool::exited(1, "diskimage: attach failed: why\n"), false, false},
      {"failure line with a zero status", ScriptedTool::exited(0, "diskimage: attach failed: why\n"), false, false},
      {"failure line before a mount point", ScriptedTool::exited(0, "diskimage: attach failed: why\n" + mount + "\n"),
       false, true},
      {"failed in the mount point", ScriptedTool::exited(0, mount + " failed: 2\n"), true, false},
      {"the tool's words in the mount point", ScriptedTool::exited(0, mount + "/diskimage: attach failed: x\n"), true,
       false},
      {"failed inside a longer word", ScriptedTool::exited(0, mount + "-unfailedness\n"), true, false},
      {"non-zero status without a failure line", ScriptedTool::exited(2, mount + "\n"), false, false},
      {"timed out", timedOut, false, false},
      {"output that is not UTF-8", ScriptedTool::exited(0, "\xff\xfe/x\n"), true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedTool tool;
    tool.attach = c.result;
    platform::setCommandRunner(&tool);
    const bool attached = Screen::attachDiskImage(QUrl::fromLocalFile(QStringLiteral("/w/pkg.dmg"))).has_value();
    const std::optional<QUrl> extracted =
        Screen::extractFirmwareFromImage(entry(QStringLiteral("pkg.dmg")), QUrl::fromLocalFile(QStringLiteral("/w/pkg.dmg")));
    platform::setCommandRunner(nullptr);
    EXPECT_EQ(attached, c.attached);
    EXPECT_EQ(extracted, std::nullopt);  // nothing is attached for real
    EXPECT_EQ(tool.calls.first(), QStringLiteral("attach file:///w/pkg.dmg"));
    EXPECT_EQ(tool.calls.filter(QStringLiteral("detach")).size(), c.attached || c.detachedAnyway ? 1 : 0);
  }
}

// Only a folder of the attach root's own, as the tool reported it, is the image's volume.
TEST_F(Extraction, VolumeSearchTakesOnlyTheReportedMountPoint) {
  const QString mount = attachRoot() + QStringLiteral("/TavoQuill FW120");
  const QString card = path(QStringLiteral("media/TavoQuill FW120"));
  ASSERT_TRUE(QDir().mkpath(mount + QStringLiteral("/inner")));
  ASSERT_TRUE(QDir().mkpath(card));
  ASSERT_TRUE(QFile::link(card, attachRoot() + QStringLiteral("/TavoQuill FW120 link")));
  const QPair<QString, bool> cases[] = {
      {mount, true},
      {mount + u'/', true},
      {attachRoot() + QStringLiteral("/TavoQuill FW120 copy"), false},  // not there
      {mount + QStringLiteral("/inner"), false},
      {attachRoot(), false},
      {card, false},
      {attachRoot() + QStringLiteral("/TavoQuill FW120 link"), false},
      {attachRoot() + QStringLiteral("/../media/TavoQuill FW120"), false},
      {QStringLiteral("TavoQuill FW120"), false},
      {QString(), false},
  };
  for (const auto& [mountPoint, found] : cases) {
    SCOPED_TRACE(mountPoint.toStdString());
    const std::optional<QUrl> volume = Screen::findImageVolume(mountPoint);
    EXPECT_EQ(volume.has_value(), found);
    if (volume) {
      EXPECT_EQ(volume->toLocalFile(), mount);
    }
  }
}

// A memory card or a folder left in the attach root, named like the package and holding an
// old firmware file, once stood in for the image just attached.
TEST_F(Extraction, OldFirmwareOnAVolumeNamedLikeThePackageIsNeverTaken) {
  const QString leftover = attachRoot() + QStringLiteral("/Copy of pkg");  // listed before "pkg"
  const QString card = path(QStringLiteral("media/pkg"));
  writeFile(leftover + QStringLiteral("/OLD.FIR"), "old firmware");
  writeFile(card + QStringLiteral("/OLD.FIR"), "old firmware");
  struct Case {
    const char* name;
    QList<QPair<QString, QByteArray>> files;  // the package's
    QByteArray toolOutput;                    // empty: the real tool
    QByteArray extracted;                     // empty: nothing
  };
  const Case cases[] = {
      {"package without a firmware file", {{QStringLiteral("readme.txt"), "text"}}, {}, {}},
      {"package with its own", {{QStringLiteral("NEW.FIR"), "new firmware"}}, {}, "new firmware"},
      {"tool reporting the card", {{QStringLiteral("readme.txt"), "text"}}, QFile::encodeName(card) + "\n", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString image = path(QStringLiteral("pkg.dmg"));
    makeImage(image, c.files);
    ScriptedTool tool;
    tool.attach = ScriptedTool::exited(0, c.toolOutput);
    if (!c.toolOutput.isEmpty()) platform::setCommandRunner(&tool);
    const std::optional<QUrl> extracted =
        Screen::extractFirmwareFromImage(entry(QStringLiteral("pkg.dmg")), QUrl::fromLocalFile(image));
    platform::setCommandRunner(nullptr);
    EXPECT_EQ(extracted ? testing_support::readFile(extracted->toLocalFile()) : QByteArray(), c.extracted);
    EXPECT_FALSE(QFileInfo::exists(workingFolder() + QStringLiteral("/OLD.FIR")));
    EXPECT_EQ(attached(), QStringList{QFileInfo(leftover).fileName()});
    EXPECT_EQ(testing_support::readFile(card + QStringLiteral("/OLD.FIR")), "old firmware");
    QFile::remove(workingFolder() + QStringLiteral("/NEW.FIR"));
  }
}

TEST_F(Extraction, FirmwareFileSearchTable) {
  struct Case {
    const char* name;
    QStringList files;
    QStringList folders;
    QString found;  // empty: none
  };
  const Case cases[] = {
      {"either case, first by name", {QStringLiteral("b.fir"), QStringLiteral("A.FIR")}, {}, QStringLiteral("A.FIR")},
      {"mixed-case extension", {QStringLiteral("x.Fir")}, {}, QStringLiteral("x.Fir")},
      {"folder skipped", {QStringLiteral("z.fir")}, {QStringLiteral("a.fir")}, QStringLiteral("z.fir")},
      {"hidden skipped", {QStringLiteral(".a.fir"), QStringLiteral("b.fir")}, {}, QStringLiteral("b.fir")},
      {"other extensions", {QStringLiteral("a.fir.txt"), QStringLiteral("fir"), QStringLiteral("a.firm")}, {}, QString()},
      {"top level only", {QStringLiteral("sub/a.fir")}, {}, QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir volume;
    for (const QString& f : c.files) writeFile(volume.filePath(f), "x");
    for (const QString& f : c.folders) QDir().mkpath(volume.filePath(f));
    const std::optional<QUrl> found = Screen::findFirmwareFile(QUrl::fromLocalFile(volume.path()));
    EXPECT_EQ(found ? QFileInfo(found->toLocalFile()).fileName() : QString(), c.found);
  }
  EXPECT_EQ(Screen::findFirmwareFile(QUrl::fromLocalFile(path(QStringLiteral("missing")))), std::nullopt);
}

TEST_F(Extraction, CopyReplacesFilesAndFolders) {
  const QString source = path(QStringLiteral("src/A.FIR"));
  writeFile(source, "new");
  const QString target = path(QStringLiteral("out/A.FIR"));
  writeFile(target, "old");
  EXPECT_TRUE(Screen::copyReplacingItem(QUrl::fromLocalFile(source), QUrl::fromLocalFile(target)));
  EXPECT_EQ(testing_support::readFile(target), "new");
  QFile::remove(target);
  writeFile(target + QStringLiteral("/inside"), "folder in the way");
  EXPECT_TRUE(Screen::copyReplacingItem(QUrl::fromLocalFile(source), QUrl::fromLocalFile(target)));
  EXPECT_EQ(testing_support::readFile(target), "new");
  EXPECT_FALSE(Screen::copyReplacingItem(QUrl::fromLocalFile(path(QStringLiteral("src/missing"))),
                                         QUrl::fromLocalFile(target)));
  EXPECT_FALSE(QFileInfo::exists(target));
}

}  // namespace
