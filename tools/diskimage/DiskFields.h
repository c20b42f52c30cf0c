#pragma once

#include <QByteArray>
#include <QtEndian>

#include <zlib.h>

#include <cstdint>

// The fields of on-disk structures in a byte buffer at a given offset: HFS+, the Apple map and
// UDIF are big-endian, GPT is little-endian.
namespace diskimage {

namespace be {
inline void put8(QByteArray& b, qsizetype at, std::uint8_t v) { b[at] = static_cast<char>(v); }
inline void put16(QByteArray& b, qsizetype at, std::uint16_t v) { qToBigEndian<quint16>(v, b.data() + at); }
inline void put32(QByteArray& b, qsizetype at, std::uint32_t v) { qToBigEndian<quint32>(v, b.data() + at); }
inline void put64(QByteArray& b, qsizetype at, std::uint64_t v) { qToBigEndian<quint64>(v, b.data() + at); }
inline std::uint16_t get16(const QByteArray& b, qsizetype at) { return qFromBigEndian<quint16>(b.constData() + at); }
inline std::uint32_t get32(const QByteArray& b, qsizetype at) { return qFromBigEndian<quint32>(b.constData() + at); }
inline std::uint64_t get64(const QByteArray& b, qsizetype at) { return qFromBigEndian<quint64>(b.constData() + at); }
// Four characters as one code ('H+', 'koly', 'mish').
constexpr std::uint32_t code(const char (&s)[5]) {
  return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
         (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}
}  // namespace be

namespace le {
inline void put16(QByteArray& b, qsizetype at, std::uint16_t v) { qToLittleEndian<quint16>(v, b.data() + at); }
inline void put32(QByteArray& b, qsizetype at, std::uint32_t v) { qToLittleEndian<quint32>(v, b.data() + at); }
inline void put64(QByteArray& b, qsizetype at, std::uint64_t v) { qToLittleEndian<quint64>(v, b.data() + at); }
}  // namespace le

// The CRC-32 that GPT and UDIF both use, continued from `crc` over `b`.
inline std::uint32_t crc32Of(const QByteArray& b, std::uint32_t crc = 0) {
  return static_cast<std::uint32_t>(
      ::crc32(crc, reinterpret_cast<const Bytef*>(b.constData()), static_cast<uInt>(b.size())));
}

}  // namespace diskimage
