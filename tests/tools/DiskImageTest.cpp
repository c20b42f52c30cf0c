#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include "support/DiskImages.h"
#include "tools/diskimage/DiskImage.h"

namespace {

using testing_support::makeImage;

const platform::Duration kTimeout{60};

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class DiskImageTool : public ::testing::Test {
 protected:
  QString root() const { return dir_.filePath(QStringLiteral("Volumes")); }
  QString image(const QString& name) const { return dir_.filePath(name); }
  QStringList rootEntries() const {
    return QDir(root()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  }
  QTemporaryDir dir_;
};

TEST_F(DiskImageTool, AttachExtractsUnderTheImageNameAndDetachRemovesIt) {
  makeImage(image(QStringLiteral("Tavo Quill.fw.dmg")), {{QStringLiteral("QUILL.FIR"), "firmware"},
                                                     {QStringLiteral("notes/readme.txt"), "text"}});
  const diskimage::Outcome attached =
      diskimage::attach(QUrl::fromLocalFile(image(QStringLiteral("Tavo Quill.fw.dmg"))).toString(), root(), kTimeout);
  ASSERT_TRUE(attached.ok) << attached.line.toStdString();
  EXPECT_EQ(attached.line, QDir(root()).filePath(QStringLiteral("Tavo Quill.fw")));
  EXPECT_EQ(readAll(attached.line + QStringLiteral("/QUILL.FIR")), "firmware");
  EXPECT_EQ(readAll(attached.line + QStringLiteral("/notes/readme.txt")), "text");
  EXPECT_EQ(rootEntries(), QStringList{QStringLiteral("Tavo Quill.fw")});  // no working folders left

  // Attaching again replaces what is there.
  QFile::remove(attached.line + QStringLiteral("/QUILL.FIR"));
  testing_support::writeFile(attached.line + QStringLiteral("/stale.txt"), "stale");
  ASSERT_TRUE(diskimage::attach(image(QStringLiteral("Tavo Quill.fw.dmg")), root(), kTimeout).ok);
  EXPECT_TRUE(QFileInfo::exists(attached.line + QStringLiteral("/QUILL.FIR")));
  EXPECT_FALSE(QFileInfo::exists(attached.line + QStringLiteral("/stale.txt")));

  const diskimage::Outcome detached = diskimage::detach(attached.line, root());
  EXPECT_TRUE(detached.ok) << detached.line.toStdString();
  EXPECT_FALSE(detached.line.contains(QStringLiteral("failed")));
  EXPECT_TRUE(rootEntries().isEmpty());
}

// A disk image whose files come out as one partition image is opened through to its files.
TEST_F(DiskImageTool, NestedPartitionImageIsExtractedToo) {
  const QString inner = dir_.filePath(QStringLiteral("2.hfs"));
  makeImage(inner, {{QStringLiteral("INNER.FIR"), "inner"}});
  makeImage(image(QStringLiteral("outer.dmg")), [&](const QDir& d) {
    QFile::copy(inner, d.filePath(QStringLiteral("2.hfs")));
    testing_support::writeFile(d.filePath(QStringLiteral("1.Apple_partition_map")), QByteArray(512, '\0'));
  });
  const diskimage::Outcome attached = diskimage::attach(image(QStringLiteral("outer.dmg")), root(), kTimeout);
  ASSERT_TRUE(attached.ok) << attached.line.toStdString();
  EXPECT_EQ(QDir(attached.line).entryList(QDir::Files), QStringList{QStringLiteral("INNER.FIR")});
  EXPECT_EQ(readAll(attached.line + QStringLiteral("/INNER.FIR")), "inner");
  EXPECT_EQ(rootEntries(), QStringList{QStringLiteral("outer")});
}

TEST_F(DiskImageTool, AttachFailuresLeaveNothingBehind) {
  testing_support::writeFile(image(QStringLiteral("garbage.dmg")), QByteArray(4096, 'x'));
  testing_support::writeFile(image(QStringLiteral(".dmg")), QByteArray(4096, 'x'));
  makeImage(image(QStringLiteral("whole.dmg")), {{QStringLiteral("A.FIR"), QByteArray(300000, 'a')}});
  QFile whole(image(QStringLiteral("whole.dmg")));
  ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
  testing_support::writeFile(image(QStringLiteral("cut.dmg")), whole.read(whole.size() / 2));

  const QString cases[] = {image(QStringLiteral("garbage.dmg")), image(QStringLiteral("missing.dmg")),
                           image(QStringLiteral(".dmg")), image(QStringLiteral("cut.dmg")), dir_.path(),
                           QStringLiteral("relative.dmg"), QStringLiteral("https://example.invalid/a.dmg")};
  for (const QString& c : cases) {
    SCOPED_TRACE(c.toStdString());
    const diskimage::Outcome r = diskimage::attach(c, root(), kTimeout);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.line.contains(QStringLiteral("failed")));
    EXPECT_TRUE(rootEntries().isEmpty()) << rootEntries().join(u' ').toStdString();
  }
}

TEST_F(DiskImageTool, DetachRefusesWhatAttachDidNotMake) {
  ASSERT_TRUE(QDir().mkpath(root() + QStringLiteral("/vol")));
  const QString outside = dir_.filePath(QStringLiteral("outside"));
  testing_support::writeFile(outside + QStringLiteral("/keep.txt"), "keep");
  ASSERT_TRUE(QFile::link(outside, root() + QStringLiteral("/link")));
  const QString cases[] = {outside, root(), root() + QStringLiteral("/link"), root() + QStringLiteral("/missing"),
                           root() + QStringLiteral("/vol/../../outside"), QStringLiteral("vol")};
  for (const QString& c : cases) {
    SCOPED_TRACE(c.toStdString());
    const diskimage::Outcome r = diskimage::detach(c, root());
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.line.contains(QStringLiteral("failed")));
  }
  EXPECT_TRUE(QFileInfo::exists(outside + QStringLiteral("/keep.txt")));
  EXPECT_TRUE(QFileInfo(root() + QStringLiteral("/vol")).isDir());
}

TEST(DiskImageName, VolumeNameTable) {
  const QPair<QString, QString> cases[] = {
      {QStringLiteral("/a/TavoQuill_FW120.dmg"), QStringLiteral("TavoQuill_FW120")},
      {QStringLiteral("/a/pkg.tar.dmg"), QStringLiteral("pkg.tar")},
      {QStringLiteral("/a/noext"), QStringLiteral("noext")},
      {QStringLiteral("/a/.dmg"), QString()},
      {QStringLiteral("/a/..dmg"), QString()},
      {QStringLiteral("/a/name with blank.dmg"), QStringLiteral("name with blank")},
  };
  for (const auto& [path, name] : cases) {
    SCOPED_TRACE(path.toStdString());
    EXPECT_EQ(diskimage::volumeNameFor(path), name);
  }
}

}  // namespace
