#include "tools/diskimage/DiskImage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <limits>

#include "platform/CommandRunner.h"
#include "platform/Volumes.h"
#include "tools/diskimage/AttachRoot.h"
#include "tools/diskimage/FileTree.h"
#include "tools/diskimage/HfsCatalog.h"
#include "tools/diskimage/HfsPlusWriter.h"
#include "tools/diskimage/UdifDecoder.h"
#include "tools/diskimage/UdifReader.h"

namespace diskimage {
namespace {

// What 7-Zip gives for the partitions of a disk image it does not open through.
const QStringList kPartitionImageSuffixes = {QStringLiteral("hfs"), QStringLiteral("hfsx"), QStringLiteral("apfs"),
                                             QStringLiteral("iso"), QStringLiteral("udf"), QStringLiteral("img")};
// Images nest (disk image, partition map, file system); more than this is no image of ours.
constexpr int kMaxNesting = 3;

Outcome failed(const QString& verb, const QString& why) {
  return {false, QStringLiteral("diskimage: %1 failed: %2").arg(verb, why)};
}

QString display(const QByteArray& path) { return QFile::decodeName(path); }

// What 7-Zip reports of an archive ("7zz l -slt", or the header "7zz x" prints): the types of
// the archives it opened through, outer first, with each one's path (an inner archive's path is
// its item's in the one around it), and the sizes of the items it lists.
struct Listing {
  QStringList types;
  QStringList paths;
  qint64 totalSize = 0;
};

Listing parseListing(const QByteArray& output) {
  Listing listing;
  bool inItems = false;
  QString path;
  for (const QByteArray& raw : output.split('\n')) {
    const QString line = QString::fromUtf8(raw).remove(u'\r');
    if (line == QStringLiteral("----------")) inItems = true;  // the items follow
    const qsizetype eq = line.indexOf(QStringLiteral(" = "));
    if (eq < 0) continue;
    const QString key = line.left(eq);
    if (!inItems && key == QStringLiteral("Path")) path = line.mid(eq + 3);
    if (!inItems && key == QStringLiteral("Type")) {
      listing.types.append(line.mid(eq + 3));
      listing.paths.append(path);
    }
    if (inItems && key == QStringLiteral("Size")) {
      // The listing is the archive's own word: a sum that would overflow is as good as endless.
      const qint64 size = std::max<qint64>(0, line.mid(eq + 3).toLongLong());
      listing.totalSize = size > std::numeric_limits<qint64>::max() - listing.totalSize
                              ? std::numeric_limits<qint64>::max()
                              : listing.totalSize + size;
    }
  }
  return listing;
}

// 7-Zip presents the root of these file systems as one folder named after the volume; on a Mac
// that folder's contents are what the mounted volume shows.
bool isVolumeFileSystem(const QStringList& types) {
  static const QStringList kVolumeTypes = {QStringLiteral("HFS"), QStringLiteral("HFS+"), QStringLiteral("HFSX"),
                                           QStringLiteral("APFS")};
  return !types.isEmpty() && kVolumeTypes.contains(types.back(), Qt::CaseInsensitive);
}

bool run7zz(const QStringList& arguments, platform::Duration timeout, QByteArray* output, QString* why,
            const platform::CommandWatch& watch = {}) {
  const QString sevenZip = sevenZipPath();
  if (sevenZip.isEmpty()) {
    *why = QStringLiteral("7zz not found");
    return false;
  }
  if (timeout <= platform::Duration(0)) {
    *why = QStringLiteral("7zz timed out");  // no time left to start it in
    return false;
  }
  const platform::CommandResult r = platform::runCommand(sevenZip, arguments, timeout, watch);
  switch (r.outcome) {
    case platform::CommandResult::Outcome::TimedOut: *why = QStringLiteral("7zz timed out"); return false;
    case platform::CommandResult::Outcome::FailedToStart: *why = QStringLiteral("7zz did not start"); return false;
    case platform::CommandResult::Outcome::Signalled: *why = QStringLiteral("7zz was killed"); return false;
    case platform::CommandResult::Outcome::Stopped: *why = QStringLiteral("7zz was stopped"); return false;
    case platform::CommandResult::Outcome::Exited: break;
  }
  // 1 is 7-Zip's "warning" (for instance bytes after the end of a disc image); the files are out.
  if (r.exitStatus != 0 && r.exitStatus != 1) {
    *why = QStringLiteral("7zz ended with status %1").arg(r.exitStatus);
    return false;
  }
  if (output) *output = r.standardOutput;
  return true;
}

// How much `archive` unpacks to, as far as can be known before unpacking it. A UDIF image whose
// whole disk fits in `bound` (its own tables say so, without reading the chunks) is taken at its
// disk's size, which spares 7-Zip's listing a second full read for its checksum; the files of a
// well-formed volume fit in its disk (one whose catalog gives many files the same blocks does
// not: the count while 7-Zip writes stops that). Anything else is sized from that listing, which
// counts only the files 7-Zip will write, not a volume's free room.
bool unpackedSize(const QString& archive, qint64 bound, platform::Duration timeout, std::uint64_t* size,
                  QString* why) {
  const std::optional<std::uint64_t> disk = udifDiskBytes(archive);
  if (disk && *disk <= static_cast<std::uint64_t>(bound)) {
    *size = *disk;
    return true;
  }
  QByteArray output;
  if (!run7zz({QStringLiteral("l"), QStringLiteral("-slt"), QStringLiteral("--"), archive}, timeout, &output, why)) {
    return false;
  }
  *size = static_cast<std::uint64_t>(parseListing(output).totalSize);
  return true;
}

// The bytes a running process has handed to write(), as the kernel counts them.
std::optional<qint64> bytesWrittenBy(qint64 pid) {
  QFile io(QStringLiteral("/proc/%1/io").arg(pid));
  if (!io.open(QIODevice::ReadOnly)) return std::nullopt;
  for (const QByteArray& line : io.readAll().split('\n')) {
    if (line.startsWith("wchar: ")) return line.mid(7).toLongLong();
  }
  return std::nullopt;
}

// What one attach may write in all: everything it extracts lies in its staging folder.
struct WriteBudget {
  qint64 bound = 0;
  QByteArray staging;

  [[nodiscard]] qint64 left() const { return bound - tree::allocatedBytes(staging); }
};

// Watches a 7-Zip that extracts into `folder`: it may write `allowed` bytes, counted as the
// kernel counts its writes; where the kernel does not say, by what the folder takes on the disk
// (looked at less often when the tree is large).
class WriteWatch {
 public:
  WriteWatch(QByteArray folder, qint64 allowed) : folder_(std::move(folder)), allowed_(allowed) {}

  bool operator()(qint64 pid) {
    if (const std::optional<qint64> written = bytesWrittenBy(pid)) return keep(*written);
    const auto now = std::chrono::steady_clock::now();
    if (now >= nextWalk_) {
      walked_ = tree::allocatedBytes(folder_);
      const auto took = std::chrono::steady_clock::now() - now;
      nextWalk_ = now + std::max<std::chrono::steady_clock::duration>(std::chrono::milliseconds(20), 4 * took);
    }
    return keep(walked_);
  }
  [[nodiscard]] bool passedTheBound() const { return over_; }

 private:
  bool keep(qint64 written) {
    over_ = written > allowed_;
    return !over_;
  }

  QByteArray folder_;
  qint64 allowed_;
  qint64 walked_ = 0;
  std::chrono::steady_clock::time_point nextWalk_{};
  bool over_ = false;
};

// Runs a 7-Zip that unpacks `archive` into `folder` within what the budget leaves: stopped as
// soon as it has written more, and judged once more by what it left on the disk when it ended
// (a fast one may be done before the first look).
bool runWatched(const QStringList& arguments, const QByteArray& folder, const QByteArray& archive,
                const WriteBudget& budget, platform::Duration timeout, QByteArray* output, QString* why) {
  const qint64 allowed = budget.left();
  WriteWatch watch(folder, allowed);
  const bool ran = run7zz(arguments, timeout, output, why, std::ref(watch));
  if (watch.passedTheBound() || (ran && tree::allocatedBytes(folder) > allowed)) {
    *why = QStringLiteral("%1 unpacks to more than the %2 bytes a package may").arg(display(archive)).arg(budget.bound);
    return false;
  }
  return ran;
}

// The time left until `deadline`; none once it has passed.
platform::Duration timeLeft(Deadline deadline) {
  return std::max(platform::Duration(deadline - std::chrono::steady_clock::now()), platform::Duration(0));
}

// Makes each hard link of the HFS+ volume that `listing` describes show its node's bytes at its
// own place, as a Mac shows the mounted volume, and removes the private folder 7-Zip wrote the
// nodes into. The catalog is read from the volume: `archive` itself when it is the volume, else
// the volume taken out of it (into the staging folder, within the budget, before `deadline`).
bool presentHardLinks(const QByteArray& archive, const Listing& listing, const QByteArray& volumeRoot,
                      const WriteBudget& budget, Deadline deadline, QString* why) {
  const QByteArray nodes = volumeRoot + '/' + kExtractedPrivateFolder;
  struct stat st {};
  if (::lstat(nodes.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return true;
  QByteArray volume = archive;
  const QByteArray pieceFolder = budget.staging + "/hfs";
  const struct Cleanup {
    const QByteArray& folder;
    ~Cleanup() { (void)tree::removeTree(folder); }
  } cleanup{pieceFolder};
  if (listing.types.size() > 1) {
    // 7-Zip opened through to the volume (a disk image, a partition map): take the volume out.
    const QString piece = listing.paths.back();
    const QString outerType = listing.types[listing.types.size() - 2];
    if (::mkdir(pieceFolder.constData(), 0700) != 0) {
      *why = QStringLiteral("cannot make ") + display(pieceFolder);
      return false;
    }
    if (!runWatched({QStringLiteral("e"), QStringLiteral("-t") + outerType, QStringLiteral("-y"), QStringLiteral("-bsp0"),
                     QStringLiteral("-bso0"), QStringLiteral("-o") + display(pieceFolder), QStringLiteral("--"),
                     display(archive), piece},
                    pieceFolder, archive, budget, timeLeft(deadline), nullptr, why)) {
      return false;
    }
    volume = pieceFolder + '/' + QFile::encodeName(piece.section(u'/', -1));
  }
  std::vector<HardLink> links;
  if (!readHardLinks(display(volume), &links, why)) return false;
  for (const HardLink& link : links) {
    const QByteArray place = volumeRoot + '/' + link.path;
    const QByteArray node = nodes + '/' + link.node;
    // 7-Zip wrote the link as an empty file; the node takes its place, a link of the same file.
    if (::lstat(place.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0 ||
        ::unlink(place.constData()) != 0 || ::link(node.constData(), place.constData()) != 0) {
      *why = QStringLiteral("cannot present the hard link ") + display(place);
      return false;
    }
  }
  if (!tree::removeTree(nodes)) {
    *why = QStringLiteral("cannot remove ") + display(nodes);
    return false;
  }
  return true;
}

// Extracts `archive` into `folder`: refused before it starts when it would unpack to more than
// the budget leaves, and stopped as soon as it has written more. Leaves in `volumeRoot` the
// folder that holds the volume's root: `folder` itself, or the volume folder 7-Zip made in it.
bool extractInto(const QByteArray& archive, const QByteArray& folder, const WriteBudget& budget,
                 Deadline deadline, QByteArray* volumeRoot, QString* why) {
  const qint64 allowed = budget.left();
  std::uint64_t size = 0;
  if (!unpackedSize(display(archive), allowed, timeLeft(deadline), &size, why)) return false;
  if (size > static_cast<std::uint64_t>(std::max<qint64>(allowed, 0))) {
    *why = QStringLiteral("%1 would unpack to %2 bytes, more than the %3 a package may")
               .arg(display(archive))
               .arg(size)
               .arg(budget.bound);
    return false;
  }
  if (::mkdir(folder.constData(), 0700) != 0) {
    *why = QStringLiteral("cannot make ") + display(folder);
    return false;
  }
  // A UDIF image's chunks are decoded here, on every core, into the plain volume beside the
  // folder: in the staging folder, so it counts against the budget (checked from the tables
  // before anything is written). 7-Zip then reads the file system alone, and the hard links are
  // read from the decoded volume's catalog; it goes once both are done. Decoding, 7-Zip's
  // extraction and taking the volume out for its hard links share the attach's time.
  const QByteArray decoded = folder + ".disk";
  const UdifDecoding decoding =
      decodeUdifVolume(archive, decoded, static_cast<std::uint64_t>(std::max<qint64>(allowed, 0)), deadline);
  if (decoding.status == UdifDecoding::Status::Failed) {
    *why = decoding.why;
    return false;
  }
  const bool ours = decoding.status == UdifDecoding::Status::Decoded;
  const struct DecodedVolume {
    const QByteArray& path;
    bool made;
    ~DecodedVolume() {
      if (made) (void)::unlink(path.constData());
    }
  } decodedVolume{decoded, ours};
  const QByteArray source = ours ? decoded : archive;
  QStringList arguments = {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-bsp0"),
                           QStringLiteral("-o") + display(folder)};
  if (ours) arguments << QStringLiteral("-thfs");
  arguments << QStringLiteral("--") << display(source);
  QByteArray output;
  if (!runWatched(arguments, folder, archive, budget, timeLeft(deadline), &output, why)) {
    return false;
  }
  *volumeRoot = folder;
  const Listing listing = parseListing(output);
  if (!isVolumeFileSystem(listing.types)) return true;
  const std::vector<tree::Entry> top = tree::entriesOf(folder);
  if (top.size() == 1 && top[0].type == tree::Entry::Type::Folder) *volumeRoot = folder + '/' + top[0].name;
  return presentHardLinks(source, listing, *volumeRoot, budget, deadline, why);
}

// Makes `inner`, a folder inside `folder`, take `folder`'s place.
bool lift(const QByteArray& inner, const QByteArray& folder, QString* why) {
  if (inner == folder) return true;
  const QByteArray aside = folder + ".root";
  if (tree::replaceTree(inner, aside) && tree::replaceTree(aside, folder)) return true;
  *why = QStringLiteral("cannot move the volume out of ") + display(inner);
  return false;
}

// The partition image to open next when the extracted top level holds nothing but partition
// pieces (regular files named "<number>.<name>", as 7-Zip names a disk's partitions) and no
// firmware file: the largest file-system image among them.
QByteArray nestedImageIn(const QByteArray& folder) {
  static const QRegularExpression kPiece(QStringLiteral("^[0-9]+\\.[A-Za-z0-9_ .-]+$"));
  const tree::Entry* best = nullptr;
  const std::vector<tree::Entry> entries = tree::entriesOf(folder);
  for (const tree::Entry& entry : entries) {
    const QString name = QString::fromLatin1(entry.name);
    const QString suffix = name.section(u'.', -1).toLower();
    if (entry.type != tree::Entry::Type::File || !kPiece.match(name).hasMatch() || suffix == QStringLiteral("fir")) {
      return {};
    }
    if (kPartitionImageSuffixes.contains(suffix) && (!best || entry.size > best->size)) best = &entry;
  }
  return best ? folder + '/' + best->name : QByteArray();
}

// Unpacks the image at `image` into `volume` (a path in the staging folder): the files at the
// volume's root at its top, partition images opened through.
bool unpackImage(const QByteArray& image, const QByteArray& volume, const WriteBudget& budget,
                 Deadline deadline, QString* why) {
  QByteArray volumeRoot;
  if (!extractInto(image, volume, budget, deadline, &volumeRoot, why) || !lift(volumeRoot, volume, why)) return false;
  for (int depth = 0; depth < kMaxNesting; ++depth) {
    const QByteArray nested = nestedImageIn(volume);
    if (nested.isEmpty()) break;
    const QByteArray inner = volume + ".nested";
    if (!extractInto(nested, inner, budget, deadline, &volumeRoot, why) || !lift(volumeRoot, inner, why)) return false;
    if (!tree::replaceTree(inner, volume)) {
      *why = QStringLiteral("cannot move ") + display(inner);
      return false;
    }
  }
  return true;
}

// An attach's staging folder: hidden, so a half-extracted image is never listed as a volume,
// held by this process, and removed when the attach ends however it ends (what a run that was
// killed leaves, the next attach clears).
class StagingFolder {
 public:
  explicit StagingFolder(const AttachRoot& root) : root_(root) {}
  ~StagingFolder() {
    if (name_.isEmpty()) return;
    (void)tree::removeTree(path());
    root_.release(name_);
  }
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;

  // Under the root's lock.
  bool make(const Holder& self) {
    QByteArray path = root_.path(QByteArray(AttachRoot::kStagingPrefix) + "XXXXXX");
    if (!::mkdtemp(path.data())) return false;
    name_ = path.mid(path.lastIndexOf('/') + 1);
    return root_.hold(name_, self);
  }
  [[nodiscard]] QByteArray path() const { return root_.path(name_); }

 private:
  const AttachRoot& root_;
  QByteArray name_;
};

Outcome createIso(const QString& folder, const QString& imagePath, platform::Duration timeout) {
  const QString verb = QStringLiteral("create");
  const QString genisoimage = QStandardPaths::findExecutable(QStringLiteral("genisoimage"));
  if (genisoimage.isEmpty()) return failed(verb, QStringLiteral("genisoimage not found"));
  // HFS volume names hold at most 27 characters.
  const QString volume = (volumeNameFor(imagePath).isEmpty() ? QStringLiteral("image") : volumeNameFor(imagePath)).left(27);
  QFile::remove(imagePath);
  const platform::CommandResult r = platform::runCommand(
      genisoimage, {QStringLiteral("-quiet"), QStringLiteral("-hfs"), QStringLiteral("-r"),
                    QStringLiteral("-V"), volume, QStringLiteral("-o"), imagePath, folder},
      timeout);
  if (!r.succeeded()) {
    QFile::remove(imagePath);
    return failed(verb, QStringLiteral("genisoimage could not make ") + imagePath);
  }
  return {true, imagePath};
}

}  // namespace

QString sevenZipPath() {
  const QString configured = qEnvironmentVariable("RAVLIO_7ZZ");
  if (!configured.isEmpty()) return configured;
  return QStandardPaths::findExecutable(QStringLiteral("7zz"));
}

qint64 extractionBound(qint64 imageSize) {
  constexpr qint64 kMiB = 1024 * 1024;
  return std::min<qint64>(4096 * kMiB, 64 * std::max<qint64>(imageSize, 0) + 64 * kMiB);
}

QString localPathOf(const QString& image) {
  const QUrl url(image);
  if (url.isLocalFile()) return url.toLocalFile();
  if (QDir::isAbsolutePath(image)) return image;
  return {};
}

QString volumeNameFor(const QString& imagePath) {
  QString name = QFileInfo(imagePath).fileName();
  const qsizetype dot = name.lastIndexOf(u'.');
  if (dot > 0) name.truncate(dot);
  if (name.isEmpty() || name.startsWith(u'.')) return {};
  return name;
}

Outcome attach(const QString& image, const QString& root, platform::Duration timeout, qint64 holder) {
  const QString verb = QStringLiteral("attach");
  const QString path = localPathOf(image);
  const QFileInfo info(path);
  if (path.isEmpty() || !info.isFile()) return failed(verb, QStringLiteral("no image at ") + image);
  const QString name = volumeNameFor(path);
  if (name.isEmpty()) return failed(verb, QStringLiteral("no volume name for ") + image);
  if (!QDir().mkpath(root)) return failed(verb, QStringLiteral("cannot make ") + root);
  const std::optional<Holder> self = Holder::of(::getpid());
  const std::optional<Holder> volumeHolder = Holder::of(holder);
  if (!self || !volumeHolder) return failed(verb, QStringLiteral("no process %1 to hold the volume").arg(holder));

  // What earlier runs left goes first, then the staging folder is made: both under the lock.
  const AttachRoot attachRoot(QFile::encodeName(QDir::cleanPath(root)));
  StagingFolder staging(attachRoot);
  {
    const AttachRoot::Lock lock(attachRoot);
    if (!lock.locked()) return failed(verb, QStringLiteral("cannot lock ") + root);
    attachRoot.clearLeftovers();
    if (!staging.make(*self)) return failed(verb, QStringLiteral("cannot make a staging folder in ") + root);
  }

  // Every step writes inside the staging folder, so one budget holds them all: what the folder
  // takes on the disk counts against the bound. Likewise one deadline: the listing, decoding and
  // 7-Zip's runs of every nested image share the time the caller gave the attach.
  const WriteBudget budget{extractionBound(info.size()), staging.path()};
  const Deadline deadline =
      std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(timeout);
  const QByteArray volume = staging.path() + "/volume";
  QString why;
  if (!unpackImage(QFile::encodeName(info.absoluteFilePath()), volume, budget, deadline, &why)) return failed(verb, why);

  const QByteArray volumeName = QFile::encodeName(name);
  const QByteArray mountPoint = attachRoot.path(volumeName);
  {
    const AttachRoot::Lock lock(attachRoot);
    if (!lock.locked() || !attachRoot.hold(volumeName, *volumeHolder) || !tree::replaceTree(volume, mountPoint)) {
      attachRoot.release(volumeName);
      return failed(verb, QStringLiteral("cannot place ") + display(mountPoint));
    }
  }
  return {true, QDir::cleanPath(display(mountPoint))};
}

Outcome detach(const QString& path, const QString& root) {
  const QString verb = QStringLiteral("detach");
  const QFileInfo info(path);
  if (!QDir::isAbsolutePath(path) || info.isSymLink() || !info.isDir()) {
    return failed(verb, QStringLiteral("no attached image at ") + path);
  }
  const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
  const QString canonical = info.canonicalFilePath();
  if (canonicalRoot.isEmpty() || canonical == canonicalRoot || !platform::pathLiesIn(canonical, canonicalRoot)) {
    return failed(verb, path + QStringLiteral(" is not in ") + root);
  }
  const AttachRoot attachRoot(QFile::encodeName(canonicalRoot));
  const AttachRoot::Lock lock(attachRoot);
  if (!lock.locked() || !tree::removeTree(QFile::encodeName(canonical))) {
    return failed(verb, QStringLiteral("cannot remove ") + path);
  }
  // The record of a folder right in the root; anything deeper has none.
  if (QFileInfo(canonical).absolutePath() == canonicalRoot) attachRoot.release(QFile::encodeName(QFileInfo(canonical).fileName()));
  return {true, QStringLiteral("\"%1\" ejected.").arg(QDir::cleanPath(path))};
}

Outcome create(const QString& folder, const QString& imagePath, platform::Duration timeout,
               const CreateOptions& options) {
  const QString verb = QStringLiteral("create");
  if (!QFileInfo(folder).isDir()) return failed(verb, QStringLiteral("no folder at ") + folder);
  if (options.iso) return createIso(folder, imagePath, timeout);
  // The volume is built beside the image, then read back into the image's chunks.
  QTemporaryFile volume(QFileInfo(imagePath).absolutePath() + QStringLiteral("/.volume-XXXXXX"));
  if (!volume.open()) return failed(verb, QStringLiteral("cannot make a volume beside ") + imagePath);
  QString why;
  const QString name = options.volumeName.isEmpty() ? kDefaultVolumeName : options.volumeName;
  if (!writeHfsPlusVolume(folder, name, volume, &why, {options.hardLinksShareBlocks})) return failed(verb, why);
  const QList<DiskPiece> pieces = diskAround(static_cast<std::uint64_t>(volume.size()) / kSectorSize, options.map);
  if (!writeUdifImage(pieces, volume, options.chunks, imagePath, &why)) return failed(verb, why);
  return {true, imagePath};
}

}  // namespace diskimage
