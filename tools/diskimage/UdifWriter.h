#pragma once

#include <QList>
#include <QString>

#include "tools/diskimage/PartitionMap.h"

class QFile;

namespace diskimage {

enum class ChunkKind { Zlib, Bzip2, Raw };

// Writes the disk that `pieces` describe as a UDIF image at `imagePath`: the pieces' data in
// chunks of up to 1 MiB (compressed as `chunks` says; a chunk that does not shrink is stored
// as it is, and an all-zero one takes no room), a property list with one block table per piece,
// and the trailer. `volume` (open for reading) supplies the bytes of the Volume piece.
[[nodiscard]] bool writeUdifImage(const QList<DiskPiece>& pieces, QFile& volume,
                                  ChunkKind chunks, const QString& imagePath, QString* why);

}  // namespace diskimage
