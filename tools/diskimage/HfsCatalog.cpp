#include "tools/diskimage/HfsCatalog.h"

#include <QFile>

#include <cstdint>
#include <map>
#include <set>

#include "tools/diskimage/DiskFields.h"
#include "tools/diskimage/HfsFormat.h"

namespace diskimage {
namespace {

using be::code;
using be::get16;
using be::get32;
using be::get64;
using namespace hfs;

// A fork's data holds this many extents.
constexpr int kForkExtentCount = 8;

// The header record's fields, from the start of the header node.
constexpr int kNodeSizeAt = kNodeDescriptorSize + kHeaderNodeSizeField;
constexpr int kFirstLeafAt = kNodeDescriptorSize + kHeaderFirstLeafField;
constexpr int kTotalNodesAt = kNodeDescriptorSize + kHeaderTotalNodesField;

// The catalog file of a volume: its bytes, found through the extents of its fork.
class CatalogFile {
 public:
  explicit CatalogFile(QIODevice& volume) : file_(volume) {}

  bool open(QString* why) {
    QByteArray header;
    if (!readAt(kVolumeHeaderOffset, kVolumeHeaderSize, &header)) return fail(why, QStringLiteral("no volume header"));
    const std::uint16_t signature = get16(header, 0);
    blockSize_ = get32(header, kBlockSizeField);
    if ((signature != kHfsPlusSignature && signature != kHfsxSignature) || blockSize_ < 512 || blockSize_ > (1u << 20) ||
        (blockSize_ & (blockSize_ - 1)) != 0) {
      return fail(why, QStringLiteral("no HFS+ volume"));
    }
    size_ = get64(header, kCatalogForkField);
    std::uint64_t covered = 0;
    for (int i = 0; i < kForkExtentCount; ++i) {
      const std::uint32_t start = get32(header, kCatalogForkField + 16 + 8 * i);
      const std::uint32_t blocks = get32(header, kCatalogForkField + 20 + 8 * i);
      if (blocks == 0) break;
      extents_.push_back({start, blocks});
      covered += static_cast<std::uint64_t>(blocks) * blockSize_;
    }
    if (covered < size_) return fail(why, QStringLiteral("the catalog lies partly in the extents overflow file"));
    return true;
  }

  // `length` bytes at `offset` within the catalog.
  bool read(std::uint64_t offset, qsizetype length, QByteArray* out) {
    if (offset > size_ || static_cast<std::uint64_t>(length) > size_ - offset) return false;
    out->clear();
    for (const auto& [start, blocks] : extents_) {
      const std::uint64_t extentBytes = static_cast<std::uint64_t>(blocks) * blockSize_;
      if (offset >= extentBytes) {
        offset -= extentBytes;
        continue;
      }
      const qsizetype take = static_cast<qsizetype>(std::min<std::uint64_t>(extentBytes - offset, length - out->size()));
      QByteArray part;
      if (!readAt(static_cast<qint64>(static_cast<std::uint64_t>(start) * blockSize_ + offset), take, &part)) return false;
      out->append(part);
      offset = 0;
      if (out->size() == length) return true;
    }
    return false;
  }

 private:
  bool readAt(qint64 at, qsizetype length, QByteArray* out) {
    if (!file_.seek(at)) return false;
    *out = file_.read(length);
    return out->size() == length;
  }
  static bool fail(QString* why, const QString& text) {
    *why = text;
    return false;
  }

  QIODevice& file_;
  std::uint32_t blockSize_ = 0;
  std::uint64_t size_ = 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> extents_;
};

struct Named {
  std::uint32_t parent = 0;
  QString name;
};

}  // namespace

QByteArray nameOnDisk(const QString& catalogName) {
  QByteArray bytes;
  const auto put = [&](char32_t c) {
    if (c < 0x80) {
      bytes.append(static_cast<char>(c));
    } else if (c < 0x800) {
      bytes.append(static_cast<char>(0xC0 | (c >> 6)));
      bytes.append(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      bytes.append(static_cast<char>(0xE0 | (c >> 12)));
      bytes.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      bytes.append(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      bytes.append(static_cast<char>(0xF0 | (c >> 18)));
      bytes.append(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      bytes.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      bytes.append(static_cast<char>(0x80 | (c & 0x3F)));
    }
  };
  for (qsizetype i = 0; i < catalogName.size(); ++i) {
    const QChar c = catalogName[i];
    if (c.isHighSurrogate() && i + 1 < catalogName.size() && catalogName[i + 1].isLowSurrogate()) {
      put(QChar::surrogateToUcs4(c, catalogName[i + 1]));
      ++i;
    } else {
      put(c == u'/' ? U'_' : c.unicode());
    }
  }
  return bytes;
}

bool readHardLinks(const QString& volume, std::vector<HardLink>* links, QString* why) {
  QFile file(volume);
  if (!file.open(QIODevice::ReadOnly)) {
    *why = QStringLiteral("cannot read ") + volume;
    return false;
  }
  if (readHardLinks(file, links, why)) return true;
  *why = volume + QStringLiteral(": ") + *why;
  return false;
}

bool readHardLinks(QIODevice& volume, std::vector<HardLink>* links, QString* why) {
  CatalogFile catalog(volume);
  if (!catalog.open(why)) return false;
  QByteArray node;
  const auto damaged = [&] {
    *why = QStringLiteral("the catalog is damaged");
    return false;
  };
  if (!catalog.read(0, kTotalNodesAt + 4, &node)) return damaged();
  const std::uint16_t nodeSize = get16(node, kNodeSizeAt);
  const std::uint32_t totalNodes = get32(node, kTotalNodesAt);
  if (nodeSize < 512 || (nodeSize & (nodeSize - 1)) != 0) return damaged();

  std::map<std::uint32_t, Named> folders;
  struct Link {
    Named at;
    std::uint32_t node;
  };
  std::vector<Link> found;
  std::vector<Named> files;  // candidates for the nodes: files right in some folder
  std::uint32_t privateFolder = 0;
  std::uint32_t leaf = get32(node, kFirstLeafAt);
  // Each leaf once: a chain that comes back to a node it passed is a loop, however many nodes
  // the header claims.
  std::set<std::uint32_t> visited;
  while (leaf != 0) {
    if (!visited.insert(leaf).second || leaf >= totalNodes ||
        !catalog.read(static_cast<std::uint64_t>(leaf) * nodeSize, nodeSize, &node) ||
        static_cast<std::int8_t>(node[8]) != kLeafNode) {
      return damaged();
    }
    const std::uint16_t records = get16(node, 10);
    if (kNodeDescriptorSize + 2 * (records + 1) > nodeSize) return damaged();
    for (std::uint16_t r = 0; r < records; ++r) {
      const qsizetype at = get16(node, nodeSize - 2 * (r + 1));
      if (at < kNodeDescriptorSize || at + 8 > nodeSize) return damaged();
      const qsizetype keyLength = get16(node, at);
      const qsizetype nameLength = get16(node, at + 6);
      const qsizetype data = at + 2 + keyLength;
      if (keyLength < 6 + 2 * nameLength || data + 2 > nodeSize) return damaged();
      Named named{get32(node, at + 2), QString()};
      for (qsizetype i = 0; i < nameLength; ++i) named.name.append(QChar(get16(node, at + 8 + 2 * i)));
      const std::uint16_t type = get16(node, data);
      if (type == kFolderRecord && data + kFolderRecordSize <= nodeSize) {
        const std::uint32_t id = get32(node, data + 8);
        if (named.parent == kRootFolderId && named.name == hfs::kPrivateDataFolder) privateFolder = id;
        folders[id] = named;
      } else if (type == kFileRecord && data + kFileRecordSize <= nodeSize) {
        if (get32(node, data + 48) == code(kHardLinkType) && get32(node, data + 52) == code(kHardLinkCreator)) {
          found.push_back({named, get32(node, data + 44)});
        } else {
          files.push_back(named);
        }
      }
    }
    leaf = get32(node, 0);
  }

  std::set<QString> nodes;
  for (const Named& f : files) {
    if (privateFolder != 0 && f.parent == privateFolder) nodes.insert(f.name);
  }
  for (const Link& link : found) {
    const QString nodeName = QStringLiteral("iNode%1").arg(link.node);
    if (!nodes.count(nodeName)) {
      *why = QStringLiteral("a hard link has no node");
      return false;
    }
    // The path up to the root; a folder chain longer than there are folders is a loop.
    QByteArray path = nameOnDisk(link.at.name);
    std::uint32_t parent = link.at.parent;
    for (std::size_t depth = 0; parent != kRootFolderId; ++depth) {
      const auto folder = folders.find(parent);
      if (folder == folders.end() || depth > folders.size() || folder->second.name.contains(QChar(0))) return damaged();
      path = nameOnDisk(folder->second.name) + '/' + path;
      parent = folder->second.parent;
    }
    if (link.at.name.contains(QChar(0))) return damaged();
    links->push_back({path, nameOnDisk(nodeName)});
  }
  return true;
}

}  // namespace diskimage
