#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

#include <vector>

// What the attach needs of an HFS+ volume's catalog, read from the volume's own bytes.
namespace diskimage {

// A file with more than one link, as a Mac keeps it: at each of its places a link record
// ("hlnk" by "hfs+") names an indirect node, the file itself, in the private folder at the
// root. 7-Zip writes each link as an empty file and the node as "[HFS+ Private Data]/iNode<n>".
struct HardLink {
  QByteArray path;  // from the volume's root, each name as 7-Zip writes it
  QByteArray node;  // the node's name in the private folder
};

// The folder 7-Zip makes of a volume's private folder.
inline const QByteArray kExtractedPrivateFolder = "[HFS+ Private Data]";

// The hard links of the HFS+ volume in the file `volume`, by walking its catalog's leaves.
// False, with the reason, when the catalog cannot be read (not HFS+, damaged, or kept partly
// in the extents overflow file, which the volumes we meet never need).
[[nodiscard]] bool readHardLinks(const QString& volume, std::vector<HardLink>* links, QString* why);
[[nodiscard]] bool readHardLinks(QIODevice& volume, std::vector<HardLink>* links, QString* why);

// A catalog name (UTF-16) as 7-Zip writes it on this system: UTF-8, a lone surrogate in its
// three-byte form, '/' (a Mac's ':') as '_'.
[[nodiscard]] QByteArray nameOnDisk(const QString& catalogName);

}  // namespace diskimage
