#pragma once

#include <QtGlobal>

#include <cstdint>

// Where the UDIF writer puts, and the reader finds, what both need of the format.
namespace diskimage::udif {

// The trailer ("koly") ends the image.
inline constexpr int kTrailerSize = 512;
// Trailer fields: the data fork's offset and length, the property list's offset and length in
// the file.
inline constexpr qsizetype kDataForkOffsetField = 24;
inline constexpr qsizetype kDataForkLengthField = 32;
inline constexpr qsizetype kPropertyListOffsetField = 216;
inline constexpr qsizetype kPropertyListLengthField = 224;

// A block table ("mish") describes one stretch of the disk: a header, then one entry per chunk.
inline constexpr qsizetype kTableFirstSectorField = 8;
inline constexpr qsizetype kTableSectorCountField = 16;
inline constexpr qsizetype kTableDataOffsetField = 24;  // added to every entry's offset
inline constexpr qsizetype kTableEntryCountField = 200;
inline constexpr int kTableHeaderSize = 204;
inline constexpr int kTableEntrySize = 40;
// Entry fields: kind, first sector (within the table's stretch), sector count, offset of the
// stored bytes (within the data fork) and their length.
inline constexpr qsizetype kEntryKindField = 0;
inline constexpr qsizetype kEntrySectorField = 8;
inline constexpr qsizetype kEntrySectorCountField = 16;
inline constexpr qsizetype kEntryOffsetField = 24;
inline constexpr qsizetype kEntryLengthField = 32;

// Kinds of block-table entries.
inline constexpr std::uint32_t kZeroFill = 0x00000000;
inline constexpr std::uint32_t kRawChunk = 0x00000001;
inline constexpr std::uint32_t kFreeChunk = 0x00000002;  // unused room, reads as zeros
inline constexpr std::uint32_t kAdcChunk = 0x80000004;
inline constexpr std::uint32_t kZlibChunk = 0x80000005;
inline constexpr std::uint32_t kBzip2Chunk = 0x80000006;
inline constexpr std::uint32_t kLzfseChunk = 0x80000007;
inline constexpr std::uint32_t kLzmaChunk = 0x80000008;
inline constexpr std::uint32_t kCommentEntry = 0x7FFFFFFE;
inline constexpr std::uint32_t kLastEntry = 0xFFFFFFFF;

// Zero and free runs store nothing: their sectors read as zeros.
inline bool isZeroRun(std::uint32_t kind) { return kind == kZeroFill || kind == kFreeChunk; }

}  // namespace diskimage::udif
