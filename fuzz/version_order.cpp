// Checks the ordering laws of the version comparison on three texts. The input is read as
// UTF-16 code units (little-endian pairs of bytes, so lone surrogates occur) and split at the
// first two line feeds.

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "tests/firmware/VersionOrderLaws.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QString units;
  units.reserve(static_cast<qsizetype>(size / 2));
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    units.append(QChar(static_cast<char16_t>(data[i] | (data[i + 1] << 8))));
  }
  const qsizetype first = units.indexOf(u'\n');
  const qsizetype second = first < 0 ? -1 : units.indexOf(u'\n', first + 1);
  const QString a = first < 0 ? units : units.left(first);
  const QString b = first < 0 ? QString() : units.mid(first + 1, second < 0 ? -1 : second - first - 1);
  const QString c = second < 0 ? QString() : units.mid(second + 1);
  if (const std::optional<std::string> broken = firmware_testing::brokenVersionOrderLaw(a, b, c)) {
    std::fprintf(stderr, "version order: not %s\n", broken->c_str());
    std::abort();
  }
  return 0;
}
