// Feeds the strings-file reader any bytes.

#include <QByteArray>

#include <cstdint>

#include "platform/StringsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto table = platform::parseStringsFile(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  (void)table;
  return 0;
}
