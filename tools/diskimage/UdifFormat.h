#pragma once

#include <QtGlobal>

// Where the UDIF writer puts, and the reader finds, what both need of the format.
namespace diskimage::udif {

// The trailer ("koly") ends the image.
inline constexpr int kTrailerSize = 512;
// Trailer fields: the property list's offset and length in the file.
inline constexpr qsizetype kPropertyListOffsetField = 216;
inline constexpr qsizetype kPropertyListLengthField = 224;
// Block-table ("mish") field: the sector count of the disk stretch it describes.
inline constexpr qsizetype kTableSectorCountField = 16;

}  // namespace diskimage::udif
