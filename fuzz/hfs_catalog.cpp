// Feeds the HFS+ catalog reader any bytes as a volume.

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <vector>

#include "tools/diskimage/HfsCatalog.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer volume(&bytes);
  volume.open(QIODevice::ReadOnly);
  std::vector<diskimage::HardLink> links;
  QString why;
  (void)diskimage::readHardLinks(volume, &links, &why);
  return 0;
}
