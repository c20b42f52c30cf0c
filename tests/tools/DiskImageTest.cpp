#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <csignal>
#include <functional>
#include <optional>

#include "platform/CommandRunner.h"
#include "platform/Volumes.h"
#include "support/DiskImages.h"
#include "tools/diskimage/DiskImage.h"

namespace {

using testing_support::makeImage;
using testing_support::writeFile;

const platform::Duration kTimeout{60};

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What 7-Zip says of an image: whether its test passes, and the type of the innermost archive
// it opened ("HFS" for an HFS+ volume, "Iso", ...).
struct SevenZipView {
  bool tests = false;
  QString type;
};
SevenZipView sevenZipView(const QString& image) {
  const QString sevenZip = diskimage::sevenZipPath();
  SevenZipView view;
  view.tests = platform::runCommand(sevenZip, {QStringLiteral("t"), image}, kTimeout).succeeded();
  const platform::CommandResult listed = platform::runCommand(sevenZip, {QStringLiteral("l"), QStringLiteral("-slt"), image}, kTimeout);
  for (const QByteArray& line : listed.standardOutput.split('\n')) {
    if (line.startsWith("----------")) break;  // the items follow
    if (line.startsWith("Type = ")) view.type = QString::fromUtf8(line.mid(7));
  }
  return view;
}

// Firmware-like bytes across more than one 1 MiB chunk: a compressible half and a half that
// does not shrink (stored as it is).
QByteArray firmwareBytes() { return testing_support::firmwareBytes(800 * 1024, 800 * 1024); }

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

// The tool ended while 7-Zip is writing (as the application's time-out ends it) leaves its
// hidden folder behind; the next attach of that image clears it, so nothing piles up.
TEST_F(DiskImageTool, AnInterruptedAttachLeavesNothingThatOutlastsTheNext) {
  const QString package = image(QStringLiteral("TavoQuill_FW120.dmg"));
  makeImage(package, {{QStringLiteral("QUILL_120.FIR"), "firmware"}});
  // A 7-Zip that starts writing, then hangs. It runs in a process group of its own, which the
  // tool's end does not reach: it says who it is, so that the test can end it.
  const QString stuck = image(QStringLiteral("stuck-7zz"));
  const QString stuckPid = image(QStringLiteral("stuck.pid"));
  writeFile(stuck, "#!/bin/sh\nfor a; do case \"$a\" in -o*) mkdir -p \"${a#-o}\"; echo half > \"${a#-o}/half\";; esac; done\n"
                   "echo $$ > '" + QFile::encodeName(stuckPid) + "'\nexec sleep 30 >/dev/null 2>&1\n");
  ASSERT_TRUE(QFile::setPermissions(stuck, QFile::permissions(stuck) | QFileDevice::ExeOwner));
  {
    const testing_support::ScopedEnvironment attachRoot("RAVLIO_ATTACH_ROOT", root());
    const testing_support::ScopedEnvironment sevenZip("RAVLIO_7ZZ", stuck);
    const platform::CommandResult r = platform::runCommand(
        platform::diskImageToolPath(), {QStringLiteral("attach"), package}, platform::Duration(1.0));
    const pid_t pid = readAll(stuckPid).trimmed().toInt();
    if (pid > 0) ::kill(pid, SIGKILL);
    ASSERT_EQ(r.outcome, platform::CommandResult::Outcome::TimedOut);
  }
  ASSERT_FALSE(rootEntries().isEmpty());  // what the ended attach left

  const diskimage::Outcome attached = diskimage::attach(package, root(), kTimeout);
  ASSERT_TRUE(attached.ok) << attached.line.toStdString();
  EXPECT_EQ(rootEntries(), QStringList{QStringLiteral("TavoQuill_FW120")});
  EXPECT_EQ(readAll(attached.line + QStringLiteral("/QUILL_120.FIR")), "firmware");
}

// Packages as the maker ships them (every partition map and chunk kind, a volume name unlike
// the file's) and the ISO kind: the firmware file lies at the top of the mount point.
TEST_F(DiskImageTool, AttachPresentsTheVolumeRootOfEveryLayout) {
  using diskimage::ChunkKind;
  using diskimage::PartitionMapKind;
  struct Case {
    const char* name;
    diskimage::CreateOptions options;
    const char* type;
    bool bare = false;  // the HFS+ volume alone, as 7-Zip takes it out of the image
  };
  const QString volume = QStringLiteral("Tavo Firmware");
  const Case cases[] = {
      {"default (GPT, zlib)", {PartitionMapKind::Gpt, ChunkKind::Zlib, volume, false}, "HFS"},
      {"GPT, bzip2", {PartitionMapKind::Gpt, ChunkKind::Bzip2, volume, false}, "HFS"},
      {"GPT, raw", {PartitionMapKind::Gpt, ChunkKind::Raw, volume, false}, "HFS"},
      {"Apple map, zlib", {PartitionMapKind::Apple, ChunkKind::Zlib, volume, false}, "HFS"},
      {"Apple map, bzip2", {PartitionMapKind::Apple, ChunkKind::Bzip2, volume, false}, "HFS"},
      {"Apple map, raw", {PartitionMapKind::Apple, ChunkKind::Raw, volume, false}, "HFS"},
      {"no map, zlib", {PartitionMapKind::None, ChunkKind::Zlib, volume, false}, "HFS"},
      {"no map, bzip2", {PartitionMapKind::None, ChunkKind::Bzip2, volume, false}, "HFS"},
      {"no map, raw", {PartitionMapKind::None, ChunkKind::Raw, volume, false}, "HFS"},
      {"default volume name", {}, "HFS"},
      {"bare HFS+ volume", {PartitionMapKind::None, ChunkKind::Raw, volume, false}, "HFS", true},
      {"ISO 9660 / HFS hybrid", {PartitionMapKind::Gpt, ChunkKind::Zlib, {}, true}, "Iso"},
  };
  const QByteArray firmware = firmwareBytes();
  const QString package = image(QStringLiteral("TavoQuill_FW120.dmg"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    makeImage(package, {{QStringLiteral("QUILL 120.FIR"), firmware}, {QStringLiteral("sub/deeper/notes.txt"), "notes"}},
              c.options);
    if (c.bare) {
      ASSERT_TRUE(platform::runCommand(diskimage::sevenZipPath(),
                                       {QStringLiteral("e"), QStringLiteral("-tdmg"), QStringLiteral("-y"),
                                        QStringLiteral("-bso0"), QStringLiteral("-o") + dir_.path(), package,
                                        QStringLiteral("0.hfs")},
                                       kTimeout)
                      .succeeded());
      ASSERT_TRUE(QFile::remove(package) && QFile::rename(dir_.filePath(QStringLiteral("0.hfs")), package));
    }
    const SevenZipView view = sevenZipView(package);
    EXPECT_TRUE(view.tests);
    EXPECT_EQ(view.type, QLatin1String(c.type));

    const diskimage::Outcome attached = diskimage::attach(QUrl::fromLocalFile(package).toString(), root(), kTimeout);
    ASSERT_TRUE(attached.ok) << attached.line.toStdString();
    EXPECT_EQ(attached.line, QDir(root()).filePath(QStringLiteral("TavoQuill_FW120")));
    EXPECT_EQ(QDir(attached.line).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("QUILL 120.FIR"), QStringLiteral("sub")}));
    EXPECT_TRUE(readAll(attached.line + QStringLiteral("/QUILL 120.FIR")) == firmware);
    EXPECT_EQ(readAll(attached.line + QStringLiteral("/sub/deeper/notes.txt")), "notes");
    EXPECT_TRUE(diskimage::detach(attached.line, root()).ok);
    EXPECT_TRUE(rootEntries().isEmpty()) << rootEntries().join(u' ').toStdString();
  }
}

// Odd packages: what the tool presents (the files at the top of the mount point), or failure
// with nothing attached.
TEST_F(DiskImageTool, AttachBadInputTable) {
  struct Case {
    const char* name;
    std::function<void(const QDir&)> fill;
    std::function<void(QByteArray&)> spoil;  // what happens to the package's bytes afterwards
    std::optional<QStringList> top;          // nullopt: the attach fails
  };
  const auto firmware = [](const QDir& d) { writeFile(d.filePath(QStringLiteral("QUILL.FIR")), firmwareBytes()); };
  const auto koly = [](QByteArray& b) { return b.size() - 512; };
  const Case cases[] = {
      {"two firmware files",
       [](const QDir& d) {
         writeFile(d.filePath(QStringLiteral("A.FIR")), "a");
         writeFile(d.filePath(QStringLiteral("b.fir")), "b");
       },
       nullptr, QStringList{QStringLiteral("A.FIR"), QStringLiteral("b.fir")}},
      {"firmware only in a sub-folder", [](const QDir& d) { writeFile(d.filePath(QStringLiteral("sub/A.FIR")), "a"); },
       nullptr, QStringList{QStringLiteral("sub")}},
      {"firmware that is a link within the volume",
       [](const QDir& d) {
         writeFile(d.filePath(QStringLiteral("data.bin")), "data");
         QFile::link(QStringLiteral("data.bin"), d.filePath(QStringLiteral("A.FIR")));
       },
       nullptr, QStringList{QStringLiteral("A.FIR"), QStringLiteral("data.bin")}},
      {"firmware that is a link out of the volume",
       [](const QDir& d) { QFile::link(QStringLiteral("../../../../../etc/hostname"), d.filePath(QStringLiteral("A.FIR"))); },
       nullptr, std::nullopt},
      {"truncated", firmware, [](QByteArray& b) { b.truncate(b.size() / 2); }, std::nullopt},
      {"bad trailer", firmware, [&](QByteArray& b) { b[koly(b)] = 'x'; }, std::nullopt},
      {"bad chunk", firmware, [](QByteArray& b) { b[40] = static_cast<char>(b[40] ^ 0x5A); }, std::nullopt},
      {"trailer pointing past the end", firmware,
       [&](QByteArray& b) { b[koly(b) + 216] = 0x7F; }, std::nullopt},
  };
  const QString package = image(QStringLiteral("pkg.dmg"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // No partition map: the volume's first chunk is the first thing in the image.
    makeImage(package, c.fill, {diskimage::PartitionMapKind::None, diskimage::ChunkKind::Zlib, {}, false});
    if (c.spoil) {
      QByteArray bytes = readAll(package);
      c.spoil(bytes);
      writeFile(package, bytes);
    }
    const diskimage::Outcome attached = diskimage::attach(package, root(), kTimeout);
    EXPECT_EQ(attached.ok, c.top.has_value()) << attached.line.toStdString();
    if (c.top) {
      EXPECT_EQ(QDir(attached.line).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System), *c.top);
      EXPECT_TRUE(diskimage::detach(attached.line, root()).ok);
    } else {
      EXPECT_TRUE(attached.line.contains(QStringLiteral("failed")));
    }
    EXPECT_TRUE(rootEntries().isEmpty()) << rootEntries().join(u' ').toStdString();
  }
}

// A firmware file beside a larger image was taken for a partition piece: the image was opened
// instead (or the attach failed when it was no image) and the firmware file was lost.
TEST_F(DiskImageTool, AttachNeverOpensAnImageBesideAFirmwareFile) {
  const QString iso = dir_.filePath(QStringLiteral("inner.iso"));
  diskimage::CreateOptions isoKind;
  isoKind.iso = true;
  makeImage(iso, {{QStringLiteral("INNER.FIR"), QByteArray(400000, 'i')}}, isoKind);
  const QString cases[] = {QStringLiteral("2.iso"), QStringLiteral("2.img")};
  for (const QString& beside : cases) {
    SCOPED_TRACE(beside.toStdString());
    makeImage(image(QStringLiteral("pkg.dmg")), [&](const QDir& d) {
      writeFile(d.filePath(QStringLiteral("QUILL.FIR")), "top");
      if (beside.endsWith(QStringLiteral(".iso"))) {
        QFile::copy(iso, d.filePath(beside));
      } else {
        writeFile(d.filePath(beside), QByteArray(400000, 'n'));  // named like an image, but none
      }
    });
    const diskimage::Outcome attached = diskimage::attach(image(QStringLiteral("pkg.dmg")), root(), kTimeout);
    ASSERT_TRUE(attached.ok) << attached.line.toStdString();
    EXPECT_EQ(QDir(attached.line).entryList(QDir::Files), (QStringList{beside, QStringLiteral("QUILL.FIR")}));
    EXPECT_EQ(readAll(attached.line + QStringLiteral("/QUILL.FIR")), "top");
    EXPECT_TRUE(diskimage::detach(attached.line, root()).ok);
  }
}

// A small package can unpack to far more than it holds (a file of zeros takes no room in the
// image); it fails before anything is written, be it a UDIF image or another archive 7-Zip reads.
TEST_F(DiskImageTool, AttachRefusesAnImageThatUnpacksTooLarge) {
  constexpr qint64 kZeros = 80LL << 20;  // above the bound for a package of some KiB
  const QString source = dir_.filePath(QStringLiteral("source"));
  writeFile(source + QStringLiteral("/QUILL.FIR"), "firmware");
  QFile zeros(source + QStringLiteral("/padding.bin"));
  ASSERT_TRUE(zeros.open(QIODevice::WriteOnly));
  ASSERT_TRUE(zeros.resize(kZeros));  // sparse: costs no disk
  zeros.close();
  const QString udif = image(QStringLiteral("bomb.dmg"));
  ASSERT_TRUE(diskimage::create(source, udif, kTimeout).ok);
  const QString zip = image(QStringLiteral("bomb.zip"));
  ASSERT_TRUE(platform::runCommand(diskimage::sevenZipPath(),
                                   {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-mx1"), QStringLiteral("-bso0"), zip,
                                    source + QStringLiteral("/.")},
                                   kTimeout)
                  .succeeded());
  for (const QString& package : {udif, zip}) {
    SCOPED_TRACE(package.toStdString());
    ASSERT_LT(QFileInfo(package).size(), 1 << 20);
    ASSERT_GT(kZeros, diskimage::extractionBound(QFileInfo(package).size()));
    const diskimage::Outcome attached = diskimage::attach(package, root(), kTimeout);
    EXPECT_FALSE(attached.ok);
    EXPECT_TRUE(attached.line.contains(QStringLiteral("failed"))) << attached.line.toStdString();
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
