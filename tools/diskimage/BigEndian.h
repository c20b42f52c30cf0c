#pragma once

#include <QByteArray>

#include <cstdint>

// Reading and writing the big-endian fields of on-disk structures in a byte buffer at a given
// offset.
namespace diskimage::be {

inline void put8(QByteArray& b, qsizetype at, std::uint8_t v) { b[at] = static_cast<char>(v); }
inline void put16(QByteArray& b, qsizetype at, std::uint16_t v) {
  put8(b, at, static_cast<std::uint8_t>(v >> 8));
  put8(b, at + 1, static_cast<std::uint8_t>(v));
}
inline void put32(QByteArray& b, qsizetype at, std::uint32_t v) {
  put16(b, at, static_cast<std::uint16_t>(v >> 16));
  put16(b, at + 2, static_cast<std::uint16_t>(v));
}
inline void put64(QByteArray& b, qsizetype at, std::uint64_t v) {
  put32(b, at, static_cast<std::uint32_t>(v >> 32));
  put32(b, at + 4, static_cast<std::uint32_t>(v));
}
inline std::uint64_t get64(const QByteArray& b, qsizetype at) {
  std::uint64_t v = 0;
  for (qsizetype i = 0; i < 8; ++i) v = (v << 8) | static_cast<std::uint8_t>(b[at + i]);
  return v;
}
// Four characters as one code ('H+', 'koly', 'mish').
constexpr std::uint32_t code(const char (&s)[5]) {
  return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
         (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}

}  // namespace diskimage::be
