#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <optional>

#include "platform/CommandRunner.h"
#include "platform/Queues.h"
#include "platform/Volumes.h"
#include "support/ChildProcess.h"
#include "support/DiskImages.h"
#include "support/TestFiles.h"
#include "tools/diskimage/AttachRoot.h"
#include "tools/diskimage/DiskImage.h"
#include "tools/diskimage/FileTree.h"
#include "tools/diskimage/UdifReader.h"

namespace {

using testing_support::entriesIn;
using testing_support::kTimeout;
using testing_support::makeImage;
using testing_support::namesIn;
using testing_support::writeFile;

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

class DiskImageTool : public testing_support::AttachRootTest {
 protected:
  QString image(const QString& name) const { return dir_.filePath(name); }
};

TEST_F(DiskImageTool, AttachExtractsUnderTheImageNameAndDetachRemovesIt) {
  makeImage(image(QStringLiteral("Tavo Quill.fw.dmg")), {{QStringLiteral("QUILL.FIR"), "firmware"},
                                                     {QStringLiteral("notes/readme.txt"), "text"}});
  const diskimage::Outcome attached =
      diskimage::attach(QUrl::fromLocalFile(image(QStringLiteral("Tavo Quill.fw.dmg"))).toString(), root(), kTimeout);
  ASSERT_TRUE(attached.ok) << attached.line.toStdString();
  EXPECT_EQ(attached.line, QDir(root()).filePath(QStringLiteral("Tavo Quill.fw")));
  EXPECT_EQ(testing_support::readFile(attached.line + QStringLiteral("/QUILL.FIR")), "firmware");
  EXPECT_EQ(testing_support::readFile(attached.line + QStringLiteral("/notes/readme.txt")), "text");
  EXPECT_EQ(volumes(), QStringList{QStringLiteral("Tavo Quill.fw")});  // no working folders left
  EXPECT_EQ(rootEntries().size(), 2);                                  // and the volume's holder

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
  EXPECT_EQ(testing_support::readFile(attached.line + QStringLiteral("/INNER.FIR")), "inner");
  EXPECT_EQ(volumes(), QStringList{QStringLiteral("outer")});
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

// Whether the process `pid` has ended (a zombie that no one has reaped yet counts as ended).
bool endsWithin(qint64 pid, std::chrono::seconds limit) {
  return platform::processEventsUntil([pid] { return !diskimage::Holder::of(pid); }, limit);
}

// The tool ended while 7-Zip writes: by SIGTERM, by SIGKILL, by the application's time limit
// (which kills the tool's process group, not 7-Zip's). No 7-Zip runs on; what the tool left, the
// next attach clears. A 7-Zip of its own group used to write on, and a SIGTERM left its folder.
TEST_F(DiskImageTool, AToolEndedDuringSevenZipLeavesNoSevenZipAndNothingForTheNextAttach) {
  const QString package = image(QStringLiteral("TavoQuill_FW120.dmg"));
  makeImage(package, {{QStringLiteral("QUILL_120.FIR"), "firmware"}});
  // A 7-Zip that starts writing, then hangs, and says who it is.
  const QString stuck = image(QStringLiteral("stuck-7zz"));
  const QString stuckPid = image(QStringLiteral("stuck.pid"));
  const std::string freshPid = testing_support::quoted(stuckPid + QStringLiteral(".new"));
  writeFile(stuck, QByteArray::fromStdString(
                       "#!/bin/sh\nfor a; do case \"$a\" in -o*) echo half > \"${a#-o}/half\";; esac; done\n"
                       "echo $$ > " + freshPid + "; mv " + freshPid + " " + testing_support::quoted(stuckPid) +
                       "\nexec sleep 30 >/dev/null 2>&1\n"));
  ASSERT_TRUE(QFile::setPermissions(stuck, QFile::permissions(stuck) | QFileDevice::ExeOwner));
  const QString tool = platform::diskImageToolPath();
  struct Case {
    const char* name;
    int signal;  // 0: the caller's time limit
    bool cleansUp;
  };
  const Case cases[] = {{"SIGTERM", SIGTERM, true}, {"SIGKILL", SIGKILL, false}, {"time limit", 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(stuckPid);
    {
      const testing_support::ScopedEnvironment attachRoot("RAVLIO_ATTACH_ROOT", root());
      const testing_support::ScopedEnvironment sevenZip("RAVLIO_7ZZ", stuck);
      if (c.signal == 0) {
        const platform::CommandResult r =
            platform::runCommand(tool, {QStringLiteral("attach"), package}, platform::Duration(1.0));
        ASSERT_EQ(r.outcome, platform::CommandResult::Outcome::TimedOut);
      } else {
        testing_support::ChildProcess child("exec " + testing_support::quoted(tool) + " attach " +
                                            testing_support::quoted(package) + " >/dev/null");
        ASSERT_TRUE(platform::processEventsUntil([&stuckPid] { return QFileInfo::exists(stuckPid); },
                                                 std::chrono::seconds(10)));
        ::kill(child.pid(), c.signal);
        EXPECT_EQ(child.reap(), c.signal);
      }
    }
    const qint64 sevenZipPid = testing_support::readFile(stuckPid).trimmed().toLongLong();
    ASSERT_GT(sevenZipPid, 0);
    EXPECT_TRUE(endsWithin(sevenZipPid, std::chrono::seconds(5)));
    EXPECT_EQ(rootEntries().isEmpty(), c.cleansUp) << rootEntries().join(u' ').toStdString();

    const diskimage::Outcome attached = diskimage::attach(package, root(), kTimeout);
    ASSERT_TRUE(attached.ok) << attached.line.toStdString();
    EXPECT_EQ(volumes(), QStringList{QStringLiteral("TavoQuill_FW120")});
    EXPECT_EQ(testing_support::readFile(attached.line + QStringLiteral("/QUILL_120.FIR")), "firmware");
    ASSERT_TRUE(diskimage::detach(attached.line, root()).ok);
    EXPECT_TRUE(rootEntries().isEmpty());
  }
}

// Whatever an image claims, 7-Zip is stopped once what it has written passes the bound: here one
// that would write without end.
TEST_F(DiskImageTool, AttachStopsASevenZipThatWritesPastTheBound) {
  const QString package = image(QStringLiteral("pkg.dmg"));
  makeImage(package, {{QStringLiteral("QUILL.FIR"), "firmware"}});
  const QString endless = image(QStringLiteral("endless-7zz"));
  writeFile(endless, "#!/bin/sh\nfor a; do case \"$a\" in -o*) exec dd if=/dev/zero of=\"${a#-o}/big\" bs=1M 2>/dev/null;; esac; done\n");
  ASSERT_TRUE(QFile::setPermissions(endless, QFile::permissions(endless) | QFileDevice::ExeOwner));
  const testing_support::ScopedEnvironment sevenZip("RAVLIO_7ZZ", endless);
  const auto start = std::chrono::steady_clock::now();
  const diskimage::Outcome attached = diskimage::attach(package, root(), kTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_FALSE(attached.ok);
  EXPECT_TRUE(attached.line.contains(QStringLiteral("unpacks to more than the %1 bytes")
                                         .arg(diskimage::extractionBound(QFileInfo(package).size()))))
      << attached.line.toStdString();
  EXPECT_TRUE(rootEntries().isEmpty()) << rootEntries().join(u' ').toStdString();
}

// A volume stays while the program that asked for it runs (tests and applications run side by
// side); what an ended program held (also one whose process id now names another process) and
// a staging folder no attach fills are cleared by the next attach; a folder the tool did not
// make (a card mounted there) stays.
TEST_F(DiskImageTool, AttachClearsWhatNoRunningProcessHolds) {
  for (const char* name : {"a.dmg", "b.dmg", "c.dmg"}) makeImage(image(QString::fromLatin1(name)), {{QStringLiteral("A.FIR"), name}});
  testing_support::ChildProcess stays("exec sleep 30");
  testing_support::ChildProcess goes("exec sleep 30");
  ASSERT_TRUE(testing_support::findProcess(stays.pid(), QStringLiteral("sleep")));
  ASSERT_TRUE(testing_support::findProcess(goes.pid(), QStringLiteral("sleep")));
  ASSERT_TRUE(diskimage::attach(image(QStringLiteral("a.dmg")), root(), kTimeout, stays.pid()).ok);
  ASSERT_TRUE(diskimage::attach(image(QStringLiteral("c.dmg")), root(), kTimeout, goes.pid()).ok);
  writeFile(root() + QStringLiteral("/.attach-Zq81xy/volume/half"), "half");
  writeFile(root() + QStringLiteral("/stray/x"), "x");
  // Held by a process whose id runs again, under another start time.
  writeFile(root() + QStringLiteral("/reused/x"), "x");
  const std::optional<diskimage::Holder> self = diskimage::Holder::of(::getpid());
  ASSERT_TRUE(self);
  ASSERT_TRUE(diskimage::AttachRoot(QFile::encodeName(root())).hold("reused", {self->pid, self->startTime + 1}));
  ::kill(goes.pid(), SIGKILL);
  goes.reap();

  const diskimage::Outcome b = diskimage::attach(image(QStringLiteral("b.dmg")), root(), kTimeout);
  ASSERT_TRUE(b.ok) << b.line.toStdString();
  EXPECT_EQ(volumes(), (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("stray")}));
  EXPECT_EQ(rootEntries().size(), 5);  // and the two holders' records
  EXPECT_EQ(testing_support::readFile(root() + QStringLiteral("/a/A.FIR")), "a.dmg");
  EXPECT_FALSE(diskimage::attach(image(QStringLiteral("b.dmg")), root(), kTimeout, 0).ok);  // no such holder
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
    EXPECT_TRUE(testing_support::readFile(attached.line + QStringLiteral("/QUILL 120.FIR")) == firmware);
    EXPECT_EQ(testing_support::readFile(attached.line + QStringLiteral("/sub/deeper/notes.txt")), "notes");
    EXPECT_TRUE(diskimage::detach(attached.line, root()).ok);
    EXPECT_TRUE(rootEntries().isEmpty()) << rootEntries().join(u' ').toStdString();
  }
}

// The sizes 7-Zip lists for an image's items, by path (from the volume's root).
QMap<QString, QString> listedSizes(const QString& image) {
  QMap<QString, QString> sizes;
  const platform::CommandResult listed =
      platform::runCommand(diskimage::sevenZipPath(), {QStringLiteral("l"), QStringLiteral("-slt"), image}, kTimeout);
  bool items = false;
  QString path;
  for (const QByteArray& line : listed.standardOutput.split('\n')) {
    if (line.startsWith("----------")) items = true;
    if (items && line.startsWith("Path = ")) path = QString::fromUtf8(line.mid(7)).section(u'/', 1);
    if (items && line.startsWith("Size = ")) sizes[path] = QString::fromUtf8(line.mid(7));
  }
  return sizes;
}

// A file with two links, written as a Mac writes it (7-Zip lists each link as an empty file and
// the bytes under the private folder), comes out with its content at both places in every
// layout, and the private folder never shows. The firmware file used to come out empty.
TEST_F(DiskImageTool, AHardLinkedFileComesOutWithItsContent) {
  using diskimage::ChunkKind;
  using diskimage::PartitionMapKind;
  struct Case {
    const char* name;
    diskimage::CreateOptions options;
    enum { Image, BareVolume, Nested } kind = Image;
  };
  const Case cases[] = {
      {"GPT, zlib", {}},
      {"Apple map, bzip2", {PartitionMapKind::Apple, ChunkKind::Bzip2, {}, false}},
      {"no map, raw", {PartitionMapKind::None, ChunkKind::Raw, {}, false}},
      {"the bare volume", {PartitionMapKind::None, ChunkKind::Raw, {}, false}, Case::BareVolume},
      {"a partition image in an image", {PartitionMapKind::None, ChunkKind::Raw, {}, false}, Case::Nested},
  };
  const QByteArray firmware = firmwareBytes();
  const QString package = image(QStringLiteral("TavoQuill_FW120.dmg"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    makeImage(package,
              [&](const QDir& d) {
                writeFile(d.filePath(QStringLiteral("QUILL 120.FIR")), firmware);
                QDir().mkpath(d.filePath(QStringLiteral("sub")));
                ASSERT_EQ(::link(QFile::encodeName(d.filePath(QStringLiteral("QUILL 120.FIR"))).constData(),
                                 QFile::encodeName(d.filePath(QStringLiteral("sub/again.fir"))).constData()),
                          0);
              },
              c.options);
    const QMap<QString, QString> sizes = listedSizes(package);
    EXPECT_EQ(sizes.value(QStringLiteral("QUILL 120.FIR")), QStringLiteral("0"));
    EXPECT_EQ(sizes.value(QStringLiteral("sub/again.fir")), QStringLiteral("0"));
    EXPECT_EQ(sizes.values().count(QString::number(firmware.size())), 1);  // the node, once
    EXPECT_TRUE(std::any_of(sizes.keyBegin(), sizes.keyEnd(), [](const QString& p) {
      return p.startsWith(QStringLiteral("[HFS+ Private Data]/iNode"));
    }));
    if (c.kind != Case::Image) {
      const QString volume = dir_.filePath(QStringLiteral("0.hfs"));
      ASSERT_TRUE(platform::runCommand(diskimage::sevenZipPath(),
                                       {QStringLiteral("e"), QStringLiteral("-tdmg"), QStringLiteral("-y"), QStringLiteral("-bso0"),
                                        QStringLiteral("-o") + dir_.path(), package, QStringLiteral("0.hfs")},
                                       kTimeout)
                      .succeeded());
      ASSERT_TRUE(QFile::remove(package));
      if (c.kind == Case::BareVolume) {
        ASSERT_TRUE(QFile::rename(volume, package));
      } else {
        makeImage(package, [&](const QDir& d) {
          ASSERT_TRUE(QFile::rename(volume, d.filePath(QStringLiteral("2.hfs"))));
          writeFile(d.filePath(QStringLiteral("1.Apple_partition_map")), QByteArray(512, '\0'));
        });
      }
    }

    const diskimage::Outcome attached = diskimage::attach(package, root(), kTimeout);
    ASSERT_TRUE(attached.ok) << attached.line.toStdString();
    EXPECT_EQ(entriesIn(attached.line), (QStringList{QStringLiteral("QUILL 120.FIR"), QStringLiteral("sub")}));
    EXPECT_TRUE(testing_support::readFile(attached.line + QStringLiteral("/QUILL 120.FIR")) == firmware);
    EXPECT_TRUE(testing_support::readFile(attached.line + QStringLiteral("/sub/again.fir")) == firmware);
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
    bool shareBlocks = false;                // hard links written as files on one extent
    const char* why = "";                    // in the failure line
    bool firmware = false;                   // QUILL.FIR at the top holds firmwareBytes()
  };
  const auto firmware = [](const QDir& d) { writeFile(d.filePath(QStringLiteral("QUILL.FIR")), firmwareBytes()); };
  const auto koly = [](QByteArray& b) { return b.size() - 512; };
  // `files` files of `size` bytes on one extent (a shared-extent bomb): the disk is small, so it
  // passes the check before 7-Zip starts, and 7-Zip writes every file in full. Zeros: they cost
  // the source no room and the image little.
  const auto oneExtent = [](int files, qint64 size) {
    return [=](const QDir& d) {
      writeFile(d.filePath(QStringLiteral("QUILL.FIR")), "firmware");
      QFile data(d.filePath(QStringLiteral("data.bin")));
      ASSERT_TRUE(data.open(QIODevice::WriteOnly) && data.resize(size));
      for (int i = 1; i < files; ++i) {
        ASSERT_EQ(::link(QFile::encodeName(data.fileName()).constData(),
                         QFile::encodeName(d.filePath(QStringLiteral("copy%1.bin").arg(i))).constData()),
                  0);
      }
    };
  };
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
      {"3 files on one extent", oneExtent(3, 40LL << 20), nullptr, std::nullopt, true, "unpacks to more than the"},
      {"100 files on one extent", oneExtent(100, 1LL << 20), nullptr, std::nullopt, true, "unpacks to more than the"},
      {"a hard-linked firmware file",
       [](const QDir& d) {
         writeFile(d.filePath(QStringLiteral("sub/QUILL.FIR")), firmwareBytes());
         ASSERT_EQ(::link(QFile::encodeName(d.filePath(QStringLiteral("sub/QUILL.FIR"))).constData(),
                          QFile::encodeName(d.filePath(QStringLiteral("QUILL.FIR"))).constData()),
                   0);
       },
       nullptr, QStringList{QStringLiteral("QUILL.FIR"), QStringLiteral("sub")}, false, "", true},
  };
  const QString package = image(QStringLiteral("pkg.dmg"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // No partition map: the volume's first chunk is the first thing in the image.
    makeImage(package, c.fill, {diskimage::PartitionMapKind::None, diskimage::ChunkKind::Zlib, {}, false, c.shareBlocks});
    if (c.spoil) {
      QByteArray bytes = testing_support::readFile(package);
      c.spoil(bytes);
      writeFile(package, bytes);
    }
    ASSERT_TRUE(QDir().mkpath(root()));
    const QStringList besideTheRoot = entriesIn(dir_.path());
    const diskimage::Outcome attached = diskimage::attach(package, root(), kTimeout);
    EXPECT_EQ(attached.ok, c.top.has_value()) << attached.line.toStdString();
    if (c.top) {
      EXPECT_EQ(QDir(attached.line).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System), *c.top);
      if (c.firmware) {
        EXPECT_TRUE(testing_support::readFile(attached.line + QStringLiteral("/QUILL.FIR")) == firmwareBytes());
      }
      EXPECT_TRUE(diskimage::detach(attached.line, root()).ok);
    } else {
      EXPECT_TRUE(attached.line.startsWith(QStringLiteral("diskimage: attach failed: "))) << attached.line.toStdString();
      EXPECT_TRUE(attached.line.contains(QLatin1String(c.why))) << attached.line.toStdString();
    }
    EXPECT_TRUE(rootEntries().isEmpty()) << rootEntries().join(u' ').toStdString();
    EXPECT_EQ(entriesIn(dir_.path()), besideTheRoot);  // nothing written outside the root
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
    EXPECT_EQ(testing_support::readFile(attached.line + QStringLiteral("/QUILL.FIR")), "top");
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

// Writes a file whose path is bytes (names need not be UTF-8).
void writeRaw(const QByteArray& path, const QByteArray& bytes) {
  const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path.toStdString();
  ASSERT_EQ(::write(fd, bytes.constData(), bytes.size()), bytes.size());
  ::close(fd);
}

const QByteArray kLoneSurrogate = "a\xED\xA0\x80" "b";  // how 7-Zip writes an HFS+ name holding U+D800

// Names that are no UTF-8 (a lone surrogate of an HFS+ name, or an archive's raw bytes) or that
// hold a newline: the tree is attached, lifted out of its volume folder and detached like any
// other. A name that is not UTF-8 used to make detach fail, and every later attach of that
// package with it.
TEST_F(DiskImageTool, NamesThatAreNotTextAreAttachedAndDetachedLikeAnyOther) {
  struct Case {
    const char* name;
    QByteArray odd;      // a file at the top of the volume
    QString volumeName;  // of the HFS+ volume; empty: a tar archive instead
  };
  const Case cases[] = {
      {"lone surrogate", kLoneSurrogate, QStringLiteral("Tavo Firmware")},
      {"newline", "new\nline", QStringLiteral("Tavo Firmware")},
      {"lone surrogate in the volume's name", "plain.txt", QStringLiteral("Tavo ") + QChar(0xD800)},
      {"bytes that are no UTF-8", "bad\xFF\xFE", QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString source = dir_.filePath(QStringLiteral("source"));
    ASSERT_TRUE(diskimage::tree::removeTree(QFile::encodeName(source)) && QDir().mkpath(source + QStringLiteral("/ro")));
    writeFile(source + QStringLiteral("/QUILL.FIR"), "firmware");
    writeRaw(QFile::encodeName(source) + '/' + c.odd, "odd");
    writeRaw(QFile::encodeName(source) + "/ro/" + c.odd, "odd");
    QString package;
    if (c.volumeName.isEmpty()) {
      ASSERT_TRUE(QFile::setPermissions(source + QStringLiteral("/ro"), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
      package = image(QStringLiteral("pkg.tar"));
      ASSERT_TRUE(platform::runCommand(QStringLiteral("/bin/tar"), {QStringLiteral("-C"), source, QStringLiteral("-cf"), package, QStringLiteral(".")},
                                       kTimeout)
                      .succeeded());
    } else {
      package = image(QStringLiteral("pkg.dmg"));
      diskimage::CreateOptions options;
      options.volumeName = c.volumeName;
      ASSERT_TRUE(diskimage::create(source, package, kTimeout, options).ok);
    }
    const diskimage::Outcome attached = diskimage::attach(package, root(), kTimeout);
    ASSERT_TRUE(attached.ok) << attached.line.toStdString();
    const QList<QByteArray> top = namesIn(attached.line);
    EXPECT_TRUE(top.contains(c.odd) && top.contains("QUILL.FIR") && top.contains("ro")) << QByteArray(top.join(',')).toStdString();
    EXPECT_EQ(namesIn(attached.line + QStringLiteral("/ro")), QList<QByteArray>{c.odd});
    const diskimage::Outcome detached = diskimage::detach(attached.line, root());
    EXPECT_TRUE(detached.ok) << detached.line.toStdString();
    EXPECT_TRUE(rootEntries().isEmpty()) << rootEntries().join(u' ').toStdString();
    EXPECT_TRUE(diskimage::tree::removeTree(QFile::encodeName(source)));
  }
}

// Holds the process to `n` open descriptors while it lives.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t n) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit limit = saved_;
    limit.rlim_cur = std::min(n, saved_.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
  DescriptorLimit(const DescriptorLimit&) = delete;
  DescriptorLimit& operator=(const DescriptorLimit&) = delete;

 private:
  rlimit saved_{};
};

// Trees made directly: odd names, a read-only folder, and deeper than the descriptors the
// process may hold. detach removes one such volume; attach clears one left as a staging folder.
TEST_F(DiskImageTool, OddTreesAreRemovedWhateverTheirNames) {
  const auto makeOddTree = [](const QByteArray& path) {
    ASSERT_EQ(::mkdir(path.constData(), 0755), 0);
    for (const QByteArray& name : {QByteArray("bad\xFF"), QByteArray("new\nline"), kLoneSurrogate}) writeRaw(path + '/' + name, "x");
    ASSERT_EQ(::mkdir((path + "/ro").constData(), 0755), 0);
    writeRaw(path + "/ro/bad\xFE", "x");
    ASSERT_EQ(::chmod((path + "/ro").constData(), 0500), 0);
    int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY);
    for (int depth = 0; depth < 200 && fd >= 0; ++depth) {
      ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
      const int inner = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
      ::close(fd);
      fd = inner;
    }
    ASSERT_GE(fd, 0);
    ::close(fd);
  };
  ASSERT_TRUE(QDir().mkpath(root()));
  const QByteArray rootBytes = QFile::encodeName(root());
  makeOddTree(rootBytes + "/vol");
  const diskimage::Outcome detached = [&] {
    const DescriptorLimit few(100);
    return diskimage::detach(root() + QStringLiteral("/vol"), root());
  }();
  EXPECT_TRUE(detached.ok) << detached.line.toStdString();
  EXPECT_TRUE(rootEntries().isEmpty()) << rootEntries().join(u' ').toStdString();

  makeOddTree(rootBytes + "/.attach-Q7zk2m");
  makeImage(image(QStringLiteral("pkg.dmg")), {{QStringLiteral("A.FIR"), "a"}});
  const diskimage::Outcome attached = [&] {
    const DescriptorLimit few(100);
    return diskimage::attach(image(QStringLiteral("pkg.dmg")), root(), kTimeout);
  }();
  ASSERT_TRUE(attached.ok) << attached.line.toStdString();
  EXPECT_EQ(volumes(), QStringList{QStringLiteral("pkg")});
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

// One time limit for the whole attach: the listing, the extraction and taking the volume out
// for its hard links share it, however the time falls between them.
TEST_F(DiskImageTool, AttachKeepsEveryStepWithinTheCallersTime) {
  const QString package = image(QStringLiteral("pkg.dmg"));
  writeFile(package, QByteArray(4096, 'x'));  // no UDIF image: 7-Zip opens it
  // The extraction's stand-in: a volume with the private folder, so the hard-link step runs.
  const QByteArray extract =
      "sleep 2; for a; do case \"$a\" in -o*) mkdir -p \"${a#-o}/pkg/[HFS+ Private Data]\";; esac; done\n"
      "   printf 'Path = pkg.dmg\\nType = Dmg\\n\\nPath = 2.hfs\\nType = HFS\\n----------\\n';;\n";
  const struct {
    const char* name;
    QByteArray steps;
  } cases[] = {
      {"a slow extraction, then a hard-link step that would run long",
       "x) " + extract + "e) exec sleep 30 >/dev/null 2>&1;;\n"},
      {"a slow listing, then a slow extraction", "l) sleep 2;;\nx) " + extract + "e) ;;\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString slow = image(QStringLiteral("slow-7zz"));
    writeFile(slow, "#!/bin/sh\ncase \"$1\" in\n" + c.steps + "esac\n");
    ASSERT_TRUE(QFile::setPermissions(slow, QFile::permissions(slow) | QFileDevice::ExeOwner));
    const testing_support::ScopedEnvironment sevenZip("RAVLIO_7ZZ", slow);
    const auto start = std::chrono::steady_clock::now();
    const diskimage::Outcome attached = diskimage::attach(package, root(), platform::Duration(3.0));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3800));
    EXPECT_FALSE(attached.ok);
    EXPECT_TRUE(attached.line.contains(QStringLiteral("7zz timed out"))) << attached.line.toStdString();
    EXPECT_TRUE(rootEntries().isEmpty()) << rootEntries().join(u' ').toStdString();
  }
}

}  // namespace
