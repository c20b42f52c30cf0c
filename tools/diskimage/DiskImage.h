#pragma once

#include <QCoreApplication>
#include <QString>

#include "platform/Clock.h"
#include "tools/diskimage/PartitionMap.h"
#include "tools/diskimage/UdifWriter.h"

// The disk-image tool's work. "Attaching" an image extracts its files with 7-Zip into a folder
// of the attach root, which then serves as the image's mounted volume; "detaching" removes
// that folder again.
namespace diskimage {

// What a verb prints on its one line of standard output, and whether it succeeded.
struct Outcome {
  bool ok = false;
  QString line;  // the mount point, or "diskimage: <verb> failed: <why>"
};

// The 7-Zip program: $RAVLIO_7ZZ when set, else "7zz" on the PATH.
[[nodiscard]] QString sevenZipPath();

// The local path an image argument names: a file URL's path, or an absolute path as it is;
// empty for anything else.
[[nodiscard]] QString localPathOf(const QString& image);

// The volume name an image gets: its file name without the last extension (a leading dot
// does not start an extension). Empty when that would not be a plain, visible folder name.
[[nodiscard]] QString volumeNameFor(const QString& imagePath);

// The most an image of `imageSize` bytes may unpack to. Firmware hardly compresses and a
// package's volume has little free room, so a package unpacks to about its own size; 64 times
// that plus 64 MiB leaves room for small, well-compressed packages, and nothing may pass 4 GiB
// (more than any camera's card takes for firmware).
[[nodiscard]] qint64 extractionBound(qint64 imageSize);

// `image` is a file URL or an absolute path. Extracts into "<root>/<volume name>", replacing
// what an earlier attach left there; an image whose files are a single partition image (as
// 7-Zip gives for some disk images) has that extracted in turn. A UDIF image's HFS+ volume is
// decoded here on every core (see UdifDecoder.h) and 7-Zip extracts the files from that;
// images with chunks we do not decode go to 7-Zip whole, and a damaged chunk fails the attach.
// An HFS+ or APFS volume's root files lie at the top of the mount point, as on a Mac,
// hard-linked files with their content at each of their places. An image that would unpack to
// more than extractionBound fails before anything is written (a UDIF image is judged by the
// size of its disk, anything else by 7-Zip's listing of its files), and whatever an image
// claims, the attach stops as soon as it has written more (the decoded volume counts). Nothing
// appears under the final name unless the
// whole extraction succeeded. First it clears what earlier runs left in the root (see
// AttachRoot.h); the volume it makes is held by the process `holder` (the program that asked
// for it) until that ends or detaches it.
[[nodiscard]] Outcome attach(const QString& image, const QString& root, platform::Duration timeout,
                             qint64 holder = QCoreApplication::applicationPid());

// Removes a folder that attach made (whatever the names in it), and the record of who held it.
// Refuses the root itself, anything outside it, and links.
[[nodiscard]] Outcome detach(const QString& path, const QString& root);

// How `create` lays out an image. The defaults are what the Mac's own tool makes of a folder;
// the others are the layouts packages come in too.
struct CreateOptions {
  PartitionMapKind map = PartitionMapKind::Gpt;
  ChunkKind chunks = ChunkKind::Zlib;
  QString volumeName;  // empty: kDefaultVolumeName
  bool iso = false;    // an ISO 9660 / HFS hybrid made by genisoimage instead
  bool hardLinksShareBlocks = false;  // see HfsPlusOptions (tests make shared-extent bombs)
};
inline const QString kDefaultVolumeName = QStringLiteral("Firmware Update");

// Makes a UDIF disk image of `folder`'s contents: an HFS+ volume behind a partition map.
[[nodiscard]] Outcome create(const QString& folder, const QString& imagePath, platform::Duration timeout,
                             const CreateOptions& options = {});

}  // namespace diskimage
