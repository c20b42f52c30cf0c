#include "tools/diskimage/DiskImage.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUrl>

#include <limits>

#include "platform/CommandRunner.h"
#include "platform/Volumes.h"
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


// Extracted folders may be read-only (a disc image's modes); make them writable first so
// that the removal works for users other than root. Links are removed, never followed.
bool removeTree(const QString& path) {
  const QFileInfo info(path);
  if (info.isSymLink() || (info.exists() && !info.isDir())) return QFile::remove(path);
  if (!info.exists()) return true;
  QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                  QFileDevice::ReadOwner);
  bool ok = true;
  const QFileInfoList entries =
      QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  for (const QFileInfo& entry : entries) ok = removeTree(entry.filePath()) && ok;
  return QDir().rmdir(path) && ok;
}

// Moves `from` to `to`, in place of whatever was there.
bool replaceTree(const QString& from, const QString& to) { return removeTree(to) && QDir().rename(from, to); }

// What 7-Zip reports of an archive ("7zz l -slt", or the header "7zz x" prints): the types of
// the archives it opened through, outer first, and the sizes of the items it lists.
struct Listing {
  QStringList types;
  qint64 totalSize = 0;
};

Listing parseListing(const QByteArray& output) {
  Listing listing;
  bool inItems = false;
  for (const QByteArray& raw : output.split('\n')) {
    const QString line = QString::fromUtf8(raw).remove(u'\r');
    if (line == QStringLiteral("----------")) inItems = true;  // the items follow
    const qsizetype eq = line.indexOf(QStringLiteral(" = "));
    if (eq < 0) continue;
    const QString key = line.left(eq);
    if (!inItems && key == QStringLiteral("Type")) listing.types.append(line.mid(eq + 3));
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

bool run7zz(const QStringList& arguments, platform::Duration timeout, QByteArray* output, QString* why) {
  const QString sevenZip = sevenZipPath();
  if (sevenZip.isEmpty()) {
    *why = QStringLiteral("7zz not found");
    return false;
  }
  const platform::CommandResult r = platform::runCommand(sevenZip, arguments, timeout);
  switch (r.outcome) {
    case platform::CommandResult::Outcome::TimedOut: *why = QStringLiteral("7zz timed out"); return false;
    case platform::CommandResult::Outcome::FailedToStart: *why = QStringLiteral("7zz did not start"); return false;
    case platform::CommandResult::Outcome::Signalled: *why = QStringLiteral("7zz was killed"); return false;
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
// well-formed volume fit in its disk. Anything else is sized from that listing, which counts only
// the files 7-Zip will write, not a volume's free room.
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

// Extracts `archive` into `folder`, refusing before it starts when it would unpack to more
// than `bound` bytes. Leaves in `volumeRoot` the folder that holds the volume's root: `folder`
// itself, or the volume folder 7-Zip made inside it.
bool extractInto(const QString& archive, const QString& folder, qint64 bound, platform::Duration timeout,
                 QString* volumeRoot, QString* why) {
  std::uint64_t size = 0;
  if (!unpackedSize(archive, bound, timeout, &size, why)) return false;
  if (size > static_cast<std::uint64_t>(bound)) {
    *why = QStringLiteral("%1 would unpack to %2 bytes, more than the %3 a package may").arg(archive).arg(size).arg(bound);
    return false;
  }
  if (!QDir().mkpath(folder)) {
    *why = QStringLiteral("cannot make ") + folder;
    return false;
  }
  // A UDIF image's chunks are decoded here, on every core, into the plain volume beside the
  // folder; 7-Zip then reads the file system alone. The volume goes once the files are out.
  const QString decoded = folder + QStringLiteral(".disk");
  const UdifDecoding decoding =
      decodeUdifVolume(archive, decoded, static_cast<std::uint64_t>(bound),
                       std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::nanoseconds>(timeout));
  if (decoding.status == UdifDecoding::Status::Failed) {
    *why = decoding.why;
    return false;
  }
  const bool ours = decoding.status == UdifDecoding::Status::Decoded;
  QStringList arguments = {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-bsp0"), QStringLiteral("-o") + folder};
  if (ours) arguments << QStringLiteral("-thfs");
  arguments << QStringLiteral("--") << (ours ? decoded : archive);
  QByteArray output;
  const bool extracted = run7zz(arguments, timeout, &output, why);
  if (ours) QFile::remove(decoded);
  if (!extracted) return false;
  *volumeRoot = folder;
  if (isVolumeFileSystem(parseListing(output).types)) {
    const QFileInfoList top = QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (top.size() == 1 && top[0].isDir() && !top[0].isSymLink()) *volumeRoot = top[0].filePath();
  }
  return true;
}

// Makes `inner`, a folder inside `folder`, take `folder`'s place.
bool lift(const QString& inner, const QString& folder, QString* why) {
  if (inner == folder) return true;
  const QString aside = folder + QStringLiteral(".root");
  if (replaceTree(inner, aside) && replaceTree(aside, folder)) {
    return true;
  }
  removeTree(aside);
  *why = QStringLiteral("cannot move the volume out of ") + inner;
  return false;
}

// The partition image to open next when the extracted top level holds nothing but partition
// pieces (regular files named "<number>.<name>", as 7-Zip names a disk's partitions) and no
// firmware file: the largest file-system image among them.
QString nestedImageIn(const QString& folder) {
  static const QRegularExpression kPiece(QStringLiteral("^[0-9]+\\."));
  const QFileInfoList entries = QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                           QDir::NoDotAndDotDot);
  QFileInfo best;
  for (const QFileInfo& entry : entries) {
    if (!entry.isFile() || entry.isSymLink() || !kPiece.match(entry.fileName()).hasMatch() ||
        entry.suffix().compare(QStringLiteral("fir"), Qt::CaseInsensitive) == 0) {
      return {};
    }
    if (kPartitionImageSuffixes.contains(entry.suffix().toLower()) && (!best.exists() || entry.size() > best.size())) {
      best = entry;
    }
  }
  return best.exists() ? best.filePath() : QString();
}

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

Outcome attach(const QString& image, const QString& root, platform::Duration timeout) {
  const QString verb = QStringLiteral("attach");
  const QString path = localPathOf(image);
  const QFileInfo info(path);
  if (path.isEmpty() || !info.isFile()) return failed(verb, QStringLiteral("no image at ") + image);
  const QString name = volumeNameFor(path);
  if (name.isEmpty()) return failed(verb, QStringLiteral("no volume name for ") + image);
  if (!QDir().mkpath(root)) return failed(verb, QStringLiteral("cannot make ") + root);

  // Hidden while it fills, so a half-extracted image is never listed as a volume. Short, since
  // the image's name may already be as long as a name can be, and the same for the same image,
  // so that what an interrupted attach left is cleared by the next.
  const QDir rootDir(root);
  const QString partial = rootDir.filePath(
      QStringLiteral(".attach-") +
      QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(16)));
  if (!removeTree(partial)) return failed(verb, QStringLiteral("cannot clear ") + partial);
  const qint64 bound = extractionBound(info.size());
  QString why;
  QString volumeRoot;
  if (!extractInto(info.absoluteFilePath(), partial, bound, timeout, &volumeRoot, &why) ||
      !lift(volumeRoot, partial, &why)) {
    removeTree(partial);
    return failed(verb, why);
  }
  for (int depth = 0; depth < kMaxNesting; ++depth) {
    const QString nested = nestedImageIn(partial);
    if (nested.isEmpty()) break;
    const QString inner = partial + QStringLiteral(".%1").arg(depth);
    removeTree(inner);
    if (!extractInto(nested, inner, bound, timeout, &volumeRoot, &why) || !lift(volumeRoot, inner, &why)) {
      removeTree(inner);
      removeTree(partial);
      return failed(verb, why);
    }
    if (!replaceTree(inner, partial)) {
      removeTree(inner);
      removeTree(partial);
      return failed(verb, QStringLiteral("cannot move ") + inner);
    }
  }

  const QString mountPoint = rootDir.filePath(name);
  if (!replaceTree(partial, mountPoint)) {
    removeTree(partial);
    return failed(verb, QStringLiteral("cannot place ") + mountPoint);
  }
  return {true, QDir::cleanPath(mountPoint)};
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
  if (!removeTree(canonical)) return failed(verb, QStringLiteral("cannot remove ") + path);
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
  if (!writeHfsPlusVolume(folder, name, volume, &why)) return failed(verb, why);
  const QList<DiskPiece> pieces = diskAround(static_cast<std::uint64_t>(volume.size()) / kSectorSize, options.map);
  if (!writeUdifImage(pieces, volume, options.chunks, imagePath, &why)) return failed(verb, why);
  return {true, imagePath};
}

}  // namespace diskimage
