#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "tools/diskimage/UdifReader.h"

// Decoding a UDIF image's chunks ourselves, on every core: the chunks are independent and the
// block tables give each one's place on the disk, so each worker reads, decodes and writes
// chunks of its own at their offsets. What comes out is a plain disk (or partition) image.
namespace diskimage {

// The largest chunk, once decoded, that is decoded here; images with larger compressed chunks
// are left to 7-Zip. Raw chunks of any size are copied piece by piece.
inline constexpr std::uint64_t kMaxDecodedChunk = 8ULL << 20;

// Decodes the stored bytes of one chunk. One per thread: it keeps the codecs' state.
class ChunkDecoder {
 public:
  ChunkDecoder();
  ~ChunkDecoder();
  ChunkDecoder(const ChunkDecoder&) = delete;
  ChunkDecoder& operator=(const ChunkDecoder&) = delete;

  // Whether chunks of `kind` (one of the udif:: entry kinds) are decoded here: zero and free
  // runs, raw, ADC, zlib, bzip2 and LZMA chunks.
  [[nodiscard]] static bool knows(std::uint32_t kind);

  // Decodes `in` (`inLength` bytes) into exactly `outLength` bytes at `out`. False, with the
  // reason in `why`, when the data is damaged or decodes to another length.
  [[nodiscard]] bool decode(std::uint32_t kind, const char* in, std::size_t inLength, char* out, std::size_t outLength,
                            QString* why);

 private:
  struct Codecs;
  std::unique_ptr<Codecs> codecs_;
};

// What came of decoding an image.
struct UdifDecoding {
  enum class Status {
    Decoded,
    LeftTo7Zip,  // no UDIF image, or one whose chunks or layout we do not decode
    Failed,      // a damaged image: `why` says how; nothing was left at the target
  };
  Status status = Status::LeftTo7Zip;
  QString why;
};

using Deadline = std::chrono::steady_clock::time_point;

// Paths are as the file system spells them (bytes).
//
// Decodes the disk stretch of `layout`'s tables `first` to `last` (inclusive) of the image at
// `imagePath` into a new file at `target` (replacing what is there), a sparse file where the
// image has zero runs. `threads` workers (0: one per core) decode at most one chunk each at a
// time; past `deadline` they stop, and the decoding fails.
[[nodiscard]] UdifDecoding decodeUdifTables(const QByteArray& imagePath, const UdifLayout& layout, qsizetype first,
                                            qsizetype last, const QByteArray& target, unsigned threads = 0,
                                            Deadline deadline = Deadline::max());

// Decodes the file-system partition of the UDIF image at `imagePath` into `target`: the one block
// table whose stretch holds an HFS+ (or HFSX) volume. `room` is what may still be written: the
// decoded volume (its chunks' bytes; zero runs stay holes) and the files it holds (at most its
// size) must both fit. Left to 7-Zip when the image is no UDIF image, has no such table or more
// than one, has chunks we do not decode, or when the files fit but not beside the decoded
// volume; fails, before anything is written, when the image is damaged or its volume alone is
// larger than `room`.
[[nodiscard]] UdifDecoding decodeUdifVolume(const QByteArray& imagePath, const QByteArray& target, std::uint64_t room,
                                            Deadline deadline = Deadline::max());

}  // namespace diskimage
