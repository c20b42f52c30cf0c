#include "tools/diskimage/UdifDecoder.h"

#include <QFile>
#include <QtEndian>

#include <bzlib.h>
#include <fcntl.h>
#include <libdeflate.h>
#include <lzma.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/FileDescriptor.h"
#include "tools/diskimage/HfsFormat.h"
#include "tools/diskimage/PartitionMap.h"
#include "tools/diskimage/UdifFormat.h"

namespace diskimage {
namespace {

using namespace udif;

// Raw chunks are copied in pieces of this size.
constexpr std::size_t kCopyPiece = 1 << 20;
// What an LZMA chunk's decoder may take; a chunk of a few MiB needs far less.
constexpr std::uint64_t kLzmaMemoryLimit = 72ULL << 20;
// A compressed chunk never needs much more room than its decoded bytes; more is a damaged table.
std::uint64_t maxStored(std::uint64_t decoded) { return decoded + decoded / 4 + (64 << 10); }
// Workers at most, whatever the machine.
constexpr unsigned kMaxThreads = 16;

QString errnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }

bool readAt(int fd, char* to, std::size_t length, std::uint64_t at, QString* why) {
  while (length > 0) {
    const ssize_t n = ::pread(fd, to, length, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *why = n < 0 ? QStringLiteral("cannot read the image: ") + errnoText() : QStringLiteral("the image ends early");
      return false;
    }
    to += n;
    length -= static_cast<std::size_t>(n);
    at += static_cast<std::uint64_t>(n);
  }
  return true;
}

bool writeAt(int fd, const char* from, std::size_t length, std::uint64_t at, QString* why) {
  while (length > 0) {
    const ssize_t n = ::pwrite(fd, from, length, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *why = QStringLiteral("cannot write the decoded disk: ") + (n < 0 ? errnoText() : QStringLiteral("no room"));
      return false;
    }
    from += n;
    length -= static_cast<std::size_t>(n);
    at += static_cast<std::uint64_t>(n);
  }
  return true;
}

// Apple Data Compression: a byte stream of literal runs and back-references into what was
// decoded so far. A byte with the top bit set starts 1 to 128 literal bytes; one with the next
// bit set starts a three-byte reference (4 to 67 bytes from up to 65536 back); any other a
// two-byte reference (3 to 18 bytes from up to 1024 back).
bool decodeAdc(const unsigned char* in, std::size_t inLength, unsigned char* out, std::size_t outLength, QString* why) {
  std::size_t i = 0;
  std::size_t o = 0;
  while (o < outLength) {
    if (i >= inLength) {
      *why = QStringLiteral("ADC data ends after %1 of %2 bytes").arg(o).arg(outLength);
      return false;
    }
    const unsigned char b = in[i];
    if (b & 0x80) {
      const std::size_t run = (b & 0x7F) + 1U;
      if (run > inLength - i - 1 || run > outLength - o) {
        *why = QStringLiteral("ADC literal run past the chunk's end");
        return false;
      }
      std::memcpy(out + o, in + i + 1, run);
      i += 1 + run;
      o += run;
      continue;
    }
    std::size_t length = 0;
    std::size_t distance = 0;
    if (b & 0x40) {
      if (inLength - i < 3) {
        *why = QStringLiteral("ADC reference cut short");
        return false;
      }
      length = (b & 0x3F) + 4U;
      distance = ((std::size_t(in[i + 1]) << 8) | in[i + 2]) + 1;
      i += 3;
    } else {
      if (inLength - i < 2) {
        *why = QStringLiteral("ADC reference cut short");
        return false;
      }
      length = ((b >> 2) & 0x0F) + 3U;
      distance = ((std::size_t(b & 0x03) << 8) | in[i + 1]) + 1;
      i += 2;
    }
    if (distance > o || length > outLength - o) {
      *why = QStringLiteral("ADC reference outside the chunk");
      return false;
    }
    // Byte by byte: a reference may overlap what it writes (a run of one repeated byte).
    for (std::size_t k = 0; k < length; ++k, ++o) out[o] = out[o - distance];
  }
  if (i != inLength) {
    *why = QStringLiteral("an ADC chunk decodes to more than the %1 bytes its table says").arg(outLength);
    return false;
  }
  return true;
}

// Whether the bytes chunk `c` stores can be its chunk: a raw chunk stores exactly its decoded
// bytes, a compressed one not much more (zero runs store nothing). False, with the reason, when
// the table is damaged.
bool storedLengthFits(const UdifChunk& c, QString* why) {
  const std::uint64_t bytes = c.sectors * kSectorSize;
  if (c.kind == kRawChunk && c.length != bytes) {
    *why = QStringLiteral("a raw chunk stores %1 bytes where its table says %2").arg(c.length).arg(bytes);
    return false;
  }
  if (c.kind != kRawChunk && !isZeroRun(c.kind) && c.length > maxStored(bytes)) {
    *why = QStringLiteral("a chunk of %1 bytes claims %2 stored bytes").arg(bytes).arg(c.length);
    return false;
  }
  return true;
}

}  // namespace

struct ChunkDecoder::Codecs {
  libdeflate_decompressor* inflate = libdeflate_alloc_decompressor();
  lzma_stream lzma = LZMA_STREAM_INIT;
  ~Codecs() {
    if (inflate) libdeflate_free_decompressor(inflate);
    lzma_end(&lzma);
  }
};

ChunkDecoder::ChunkDecoder() : codecs_(std::make_unique<Codecs>()) {
  if (!codecs_->inflate) throw std::bad_alloc();
}
ChunkDecoder::~ChunkDecoder() = default;

bool ChunkDecoder::knows(std::uint32_t kind) {
  switch (kind) {
    case kZeroFill:
    case kFreeChunk:
    case kRawChunk:
    case kAdcChunk:
    case kZlibChunk:
    case kBzip2Chunk:
    case kLzmaChunk:
      return true;
    default:
      return false;
  }
}

bool ChunkDecoder::decode(std::uint32_t kind, const char* in, std::size_t inLength, char* out, std::size_t outLength,
                          QString* why) {
  const auto wrongLength = [&](std::size_t got) {
    *why = QStringLiteral("a chunk decodes to %1 bytes where its table says %2").arg(got).arg(outLength);
    return false;
  };
  const auto tooLong = [&] {
    *why = QStringLiteral("a chunk decodes to more than the %1 bytes its table says").arg(outLength);
    return false;
  };
  switch (kind) {
    case kZeroFill:
    case kFreeChunk:
      std::memset(out, 0, outLength);
      return true;
    case kRawChunk:
      if (inLength != outLength) return wrongLength(inLength);
      std::memcpy(out, in, outLength);
      return true;
    case kAdcChunk:
      return decodeAdc(reinterpret_cast<const unsigned char*>(in), inLength, reinterpret_cast<unsigned char*>(out),
                       outLength, why);
    case kZlibChunk: {
      std::size_t got = 0;
      switch (libdeflate_zlib_decompress(codecs_->inflate, in, inLength, out, outLength, &got)) {
        case LIBDEFLATE_SUCCESS:
          return got == outLength || wrongLength(got);
        case LIBDEFLATE_INSUFFICIENT_SPACE:
          return tooLong();
        default:
          *why = QStringLiteral("a zlib chunk is damaged");
          return false;
      }
    }
    case kBzip2Chunk: {
      if (inLength > UINT_MAX || outLength > UINT_MAX) {
        *why = QStringLiteral("a bzip2 chunk too large to decode");
        return false;
      }
      auto got = static_cast<unsigned int>(outLength);
      const int r =
          BZ2_bzBuffToBuffDecompress(out, &got, const_cast<char*>(in), static_cast<unsigned int>(inLength), 0, 0);
      if (r == BZ_OUTBUFF_FULL) return tooLong();
      if (r != BZ_OK) {
        *why = QStringLiteral("a bzip2 chunk is damaged");
        return false;
      }
      return got == outLength || wrongLength(got);
    }
    case kLzmaChunk: {
      lzma_stream& s = codecs_->lzma;
      if (lzma_auto_decoder(&s, kLzmaMemoryLimit, 0) != LZMA_OK) {
        *why = QStringLiteral("no LZMA decoder");
        return false;
      }
      s.next_in = reinterpret_cast<const std::uint8_t*>(in);
      s.avail_in = inLength;
      s.next_out = reinterpret_cast<std::uint8_t*>(out);
      s.avail_out = outLength;
      const lzma_ret r = lzma_code(&s, LZMA_FINISH);
      const std::size_t got = outLength - s.avail_out;
      if (r == LZMA_STREAM_END) return got == outLength || wrongLength(got);
      // Output full before the stream's end: it holds more than the table says.
      if ((r == LZMA_OK || r == LZMA_BUF_ERROR) && s.avail_out == 0) return tooLong();
      *why = QStringLiteral("an LZMA chunk is damaged");
      return false;
    }
    default:
      *why = QStringLiteral("no decoder for chunks of kind 0x%1").arg(kind, 8, 16, QLatin1Char('0'));
      return false;
  }
}

namespace {

// The chunks of one decoding, shared by its workers: each takes the next chunk not yet taken.
class Decoding {
 public:
  Decoding(int in, int out, std::vector<UdifChunk> chunks, std::uint64_t firstSector, Deadline deadline)
      : in_(in), out_(out), chunks_(std::move(chunks)), firstSector_(firstSector), deadline_(deadline) {}

  void work() {
    try {
      ChunkDecoder decoder;
      Buffer stored;
      Buffer decoded;
      QString why;
      while (!failed_.load(std::memory_order_relaxed)) {
        const std::size_t i = next_.fetch_add(1, std::memory_order_relaxed);
        if (i >= chunks_.size()) return;
        if (std::chrono::steady_clock::now() > deadline_) return fail(QStringLiteral("decoding the image timed out"));
        if (!decodeOne(chunks_[i], decoder, stored, decoded, &why)) return fail(why);
      }
    } catch (const std::bad_alloc&) {
      fail(QStringLiteral("out of memory"));
    }
  }

  [[nodiscard]] bool failed(QString* why) const {
    if (!failed_.load()) return false;
    const std::lock_guard<std::mutex> lock(mutex_);
    *why = why_;
    return true;
  }

 private:
  // A worker's buffer: grown to the largest chunk it meets, never filled needlessly.
  struct Buffer {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    char* at(std::size_t need) {
      if (size < need) {
        bytes.reset(new char[need]);
        size = need;
      }
      return bytes.get();
    }
  };

  bool decodeOne(const UdifChunk& c, ChunkDecoder& decoder, Buffer& stored, Buffer& decoded, QString* why) const {
    const std::uint64_t bytes = c.sectors * kSectorSize;
    const std::uint64_t at = (c.sector - firstSector_) * kSectorSize;
    if (!storedLengthFits(c, why)) return false;
    if (c.kind == kRawChunk) {
      char* piece = decoded.at(kCopyPiece);
      for (std::uint64_t done = 0; done < bytes;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyPiece, bytes - done));
        if (!readAt(in_, piece, n, c.offset + done, why) || !write(piece, n, at + done, why)) return false;
        done += n;
      }
      return true;
    }
    const auto inLength = static_cast<std::size_t>(c.length);
    const auto outLength = static_cast<std::size_t>(bytes);
    char* in = stored.at(inLength);
    char* out = decoded.at(outLength);
    return readAt(in_, in, inLength, c.offset, why) && decoder.decode(c.kind, in, inLength, out, outLength, why) &&
           write(out, outLength, at, why);
  }

  // Writes to one file take the kernel's lock on it in turn; waiting here instead keeps the
  // other workers decoding rather than spinning on that lock.
  bool write(const char* from, std::size_t length, std::uint64_t at, QString* why) const {
    const std::lock_guard<std::mutex> lock(writing_);
    return writeAt(out_, from, length, at, why);
  }

  void fail(const QString& why) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!failed_.exchange(true)) why_ = why;
  }

  const int in_;
  const int out_;
  const std::vector<UdifChunk> chunks_;
  const std::uint64_t firstSector_;
  const Deadline deadline_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> failed_{false};
  mutable std::mutex mutex_;
  QString why_;
  mutable std::mutex writing_;
};

using Fd = platform::FileDescriptor;

UdifDecoding failed(const QString& why) { return {UdifDecoding::Status::Failed, why}; }
UdifDecoding leftTo7Zip(const QString& why) { return {UdifDecoding::Status::LeftTo7Zip, why}; }

// Why chunk `c` is not ours to decode, or empty when it is: a kind we have no decoder for, or a
// compressed chunk that decodes to more than kMaxDecodedChunk (raw chunks of any size are copied).
QString notOursToDecode(const UdifChunk& c) {
  if (!ChunkDecoder::knows(c.kind)) return QStringLiteral("chunks of kind 0x%1").arg(c.kind, 8, 16, QLatin1Char('0'));
  if (c.kind != kRawChunk && !isZeroRun(c.kind) && c.sectors * kSectorSize > kMaxDecodedChunk) {
    return QStringLiteral("chunks of %1 bytes").arg(c.sectors * kSectorSize);
  }
  return {};
}

// Why the chunks of these tables are not ours to decode, or empty when they are.
QString undecodable(const UdifLayout& layout, qsizetype first, qsizetype last) {
  for (qsizetype t = first; t <= last; ++t) {
    for (const UdifChunk& c : layout.tables[t].chunks) {
      if (QString why = notOursToDecode(c); !why.isEmpty()) return why;
    }
  }
  return {};
}

// What a table's stretch holds where an HFS+ volume has its header, which starts with its signature.
enum class Look { Hfs, Other, Unknown, Damaged };
Look lookInto(int fd, const UdifTable& table, ChunkDecoder& decoder, QString* why) {
  static_assert(hfs::kVolumeHeaderOffset % kSectorSize == 0);
  constexpr std::uint64_t kSignatureSector = hfs::kVolumeHeaderOffset / kSectorSize;
  if (table.sectorCount <= kSignatureSector) return Look::Other;
  const std::uint64_t sector = table.firstSector + kSignatureSector;
  for (const UdifChunk& c : table.chunks) {
    if (sector < c.sector || sector >= c.sector + c.sectors) continue;
    if (isZeroRun(c.kind)) return Look::Other;
    if (!notOursToDecode(c).isEmpty()) return Look::Unknown;
    if (!storedLengthFits(c, why)) return Look::Damaged;
    const std::uint64_t at = (sector - c.sector) * kSectorSize;
    char signature[2] = {};
    if (c.kind == kRawChunk) {
      // Raw chunks may be of any size: the two bytes are read where they lie.
      if (!readAt(fd, signature, sizeof signature, c.offset + at, why)) return Look::Damaged;
    } else {
      std::vector<char> in(static_cast<std::size_t>(c.length));
      std::vector<char> out(static_cast<std::size_t>(c.sectors * kSectorSize));
      if (!readAt(fd, in.data(), in.size(), c.offset, why) ||
          !decoder.decode(c.kind, in.data(), in.size(), out.data(), out.size(), why)) {
        return Look::Damaged;
      }
      std::memcpy(signature, out.data() + at, sizeof signature);
    }
    const std::uint16_t kind = qFromBigEndian<std::uint16_t>(signature);
    return kind == hfs::kHfsPlusSignature || kind == hfs::kHfsxSignature ? Look::Hfs : Look::Other;
  }
  return Look::Other;
}

QString display(const QByteArray& path) { return QFile::decodeName(path); }

UdifDecoding decodeTables(int in, const UdifLayout& layout, qsizetype first, qsizetype last, const QByteArray& target,
                          unsigned threads, Deadline deadline) {
  if (const QString why = undecodable(layout, first, last); !why.isEmpty()) return leftTo7Zip(why);
  const std::uint64_t firstSector = layout.tables[first].firstSector;
  const std::uint64_t bytes =
      (layout.tables[last].firstSector + layout.tables[last].sectorCount - firstSector) * kSectorSize;
  std::vector<UdifChunk> chunks;
  for (qsizetype t = first; t <= last; ++t) {
    for (const UdifChunk& c : layout.tables[t].chunks) {
      if (!isZeroRun(c.kind)) chunks.push_back(c);  // zero runs stay holes
    }
  }

  ::unlink(target.constData());
  Fd fd(::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (fd.get() < 0)
    return failed(QStringLiteral("cannot make ") + display(target) + QStringLiteral(": ") + errnoText());
  if (::ftruncate(fd.get(), static_cast<off_t>(bytes)) != 0) {
    const QString why =
        QStringLiteral("cannot make room for the disk in ") + display(target) + QStringLiteral(": ") + errnoText();
    ::unlink(target.constData());
    return failed(why);
  }

  if (threads == 0) threads = std::max(1U, std::thread::hardware_concurrency());
  threads =
      static_cast<unsigned>(std::min<std::size_t>({threads, kMaxThreads, std::max<std::size_t>(chunks.size(), 1)}));
  Decoding decoding(in, fd.get(), std::move(chunks), firstSector, deadline);
  {
    std::vector<std::jthread> workers;
    workers.reserve(threads);
    try {
      for (unsigned i = 0; i < threads; ++i) workers.emplace_back([&decoding] { decoding.work(); });
    } catch (const std::system_error&) {
      // Fewer workers than asked for; with none, this thread does the work.
      if (workers.empty()) decoding.work();
    }
  }
  QString why;
  if (!decoding.failed(&why) && fd.close() != 0) {
    why = QStringLiteral("cannot write the decoded disk: ") + errnoText();
  }
  if (!why.isEmpty()) {
    ::unlink(target.constData());
    return failed(why);
  }
  return {UdifDecoding::Status::Decoded, {}};
}

}  // namespace

UdifDecoding decodeUdifTables(const QByteArray& imagePath, const UdifLayout& layout, qsizetype first, qsizetype last,
                              const QByteArray& target, unsigned threads, Deadline deadline) {
  if (layout.status != UdifLayout::Status::Ok || first < 0 || last >= layout.tables.size() || first > last) {
    return failed(QStringLiteral("no such block tables"));
  }
  const Fd in(::open(imagePath.constData(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0)
    return failed(QStringLiteral("cannot open ") + display(imagePath) + QStringLiteral(": ") + errnoText());
  return decodeTables(in.get(), layout, first, last, target, threads, deadline);
}

UdifDecoding decodeUdifVolume(const QByteArray& imagePath, const QByteArray& target, std::uint64_t room,
                              Deadline deadline) {
  const QString name = display(imagePath);
  const Fd in(::open(imagePath.constData(), O_RDONLY | O_CLOEXEC));
  QFile file;
  if (in.get() < 0 || !file.open(in.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
    return failed(QStringLiteral("cannot open ") + name);
  }
  const UdifLayout layout = readUdifLayout(file);
  switch (layout.status) {
    case UdifLayout::Status::NotUdif:
      return leftTo7Zip(QStringLiteral("no UDIF image"));
    case UdifLayout::Status::Bad:
      return failed(name + QStringLiteral(": ") + layout.why);
    case UdifLayout::Status::Ok:
      break;
  }
  ChunkDecoder decoder;
  qsizetype volume = -1;
  for (qsizetype t = 0; t < layout.tables.size(); ++t) {
    QString why;
    switch (lookInto(in.get(), layout.tables[t], decoder, &why)) {
      case Look::Damaged:
        return failed(name + QStringLiteral(": ") + why);
      case Look::Unknown:
        return leftTo7Zip(QStringLiteral("a partition we cannot look into"));
      case Look::Other:
        continue;
      case Look::Hfs:
        if (volume >= 0) return leftTo7Zip(QStringLiteral("more than one volume"));
        volume = t;
    }
  }
  if (volume < 0) return leftTo7Zip(QStringLiteral("no HFS+ volume"));
  // The volume's files take at most its size; the decoded volume takes what its chunks hold
  // (zero runs stay holes). Both must fit in what is left to write.
  const std::uint64_t bytes = layout.tables[volume].sectorCount * kSectorSize;
  if (bytes > room) {
    return failed(QStringLiteral("%1 would unpack to %2 bytes, more than the %3 a package may still write")
                      .arg(name)
                      .arg(bytes)
                      .arg(room));
  }
  std::uint64_t held = 0;
  for (const UdifChunk& c : layout.tables[volume].chunks) {
    if (!isZeroRun(c.kind)) held += c.sectors * kSectorSize;
  }
  if (held > room - bytes) return leftTo7Zip(QStringLiteral("no room for the decoded volume beside its files"));
  return decodeTables(in.get(), layout, volume, volume, target, 0, deadline);
}

}  // namespace diskimage
