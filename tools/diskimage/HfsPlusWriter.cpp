#include "tools/diskimage/HfsPlusWriter.h"

#include <QDateTime>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "platform/FileDescriptor.h"
#include "tools/diskimage/DiskFields.h"
#include "tools/diskimage/FileTree.h"
#include "tools/diskimage/HfsFormat.h"

namespace diskimage {
namespace {

using be::put16;
using be::put32;
using be::put64;
using be::put8;
using namespace hfs;

constexpr std::uint16_t kThreadExistsFlag = 0x0002;
constexpr std::uint16_t kHasLinkChainFlag = 0x0020;
constexpr std::uint16_t kHasBeenInitedFinderFlag = 0x0100;
constexpr std::uint16_t kInvisibleFinderFlag = 0x4000;
constexpr std::uint8_t kImmutableOwnerFlag = 0x02;
constexpr std::uint32_t kVolumeUnmountedAttribute = 1u << 8;

// B-tree header attributes and sizes.
constexpr int kHeaderRecordSize = 106;
constexpr int kUserDataRecordSize = 128;
constexpr std::uint32_t kBigKeysAttribute = 0x2;
constexpr std::uint32_t kVariableIndexKeysAttribute = 0x4;
constexpr std::uint8_t kCaseFoldingCompare = 0xCF;
constexpr std::uint16_t kCatalogMaxKeyLength = 516;
constexpr std::uint16_t kExtentsMaxKeyLength = 10;

constexpr std::uint32_t kSecondsFrom1904To1970 = 2082844800u;
// HFS+ names hold at most this many UTF-16 code units.
constexpr qsizetype kMaxNameLength = 255;
// A little free room, as volumes made for distribution have.
constexpr std::uint32_t kSlackBlocks = 16;

// HardLink: a link record, whose bytes are those of its indirect node (a File in the private
// folder named "iNode<its id>").
enum class Kind { Folder, File, Link, HardLink };

struct Item {
  Kind kind = Kind::File;
  std::uint32_t id = 0;
  std::uint32_t parent = 0;
  QString name;  // as the catalog holds it: decomposed, ':' stored as '/'
  QByteArray source;
  QByteArray linkTarget;
  std::uint64_t size = 0;
  std::uint32_t date = 0;
  std::uint16_t mode = 0;
  std::uint32_t valence = 0;  // folders: how many items they hold
  std::uint32_t startBlock = 0;
  std::uint32_t blocks = 0;
  std::uint32_t special = 0;  // a node's link count, a link's node
  std::uint16_t recordFlags = 0;
  bool ownsBlocks = true;     // false: its blocks are another file's
  std::pair<dev_t, ino_t> inode{};  // files with more than one link: which file they are
};

std::uint32_t hfsTime(const QDateTime& t) {
  const qint64 s = t.isValid() ? t.toSecsSinceEpoch() + kSecondsFrom1904To1970 : kSecondsFrom1904To1970;
  return static_cast<std::uint32_t>(std::clamp<qint64>(s, 0, 0xFFFFFFFFLL));
}

std::uint32_t blocksFor(std::uint64_t bytes) {
  return static_cast<std::uint32_t>((bytes + kHfsBlockSize - 1) / kHfsBlockSize);
}

QString catalogName(const QString& name) {
  QString n = name.normalized(QString::NormalizationForm_D);
  n.replace(u':', u'/');
  return n;
}

// A name's bytes as UTF-16: UTF-8, with the three-byte forms of surrogates taken as those code
// units. nullopt for bytes that are no such text.
std::optional<QString> nameFromBytes(const QByteArray& bytes) {
  QString name;
  const auto at = [&](qsizetype i) { return static_cast<std::uint8_t>(bytes[i]); };
  for (qsizetype i = 0; i < bytes.size();) {
    const std::uint8_t lead = at(i);
    const int length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || i + length > bytes.size()) return std::nullopt;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      if ((at(i + k) & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (at(i + k) & 0x3F);
    }
    constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kLeast[length] || c > 0x10FFFF) return std::nullopt;  // overlong, or past Unicode
    if (c >= 0x10000) {
      name.append(QChar::highSurrogate(c));
      name.append(QChar::lowSurrogate(c));
    } else {
      name.append(QChar(static_cast<char16_t>(c)));
    }
    i += length;
  }
  return name;
}

// The catalog key: key length, parent ID, name (length and UTF-16 big-endian code units).
QByteArray catalogKey(std::uint32_t parent, const QString& name) {
  QByteArray k(8 + 2 * name.size(), '\0');
  put16(k, 0, static_cast<std::uint16_t>(k.size() - 2));
  put32(k, 2, parent);
  put16(k, 6, static_cast<std::uint16_t>(name.size()));
  for (qsizetype i = 0; i < name.size(); ++i) put16(k, 8 + 2 * i, name[i].unicode());
  return k;
}

// Case-insensitive order of names within one parent, as a case-folding volume sorts its catalog
// (where a NUL sorts after everything).
bool nameLess(const QString& a, const QString& b) {
  const auto folded = [](QChar c) { return c.isNull() ? char16_t(0xFFFF) : c.toCaseFolded().unicode(); };
  const qsizetype n = std::min(a.size(), b.size());
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t x = folded(a[i]);
    const char16_t y = folded(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

void putBsdInfo(QByteArray& r, qsizetype at, std::uint16_t mode, std::uint32_t special = 0, std::uint8_t ownerFlags = 0) {
  put32(r, at, 99);  // the "unknown" owner and group that removable media get
  put32(r, at + 4, 99);
  put8(r, at + 9, ownerFlags);
  put16(r, at + 10, mode);
  put32(r, at + 12, special);
}

void putDates(QByteArray& r, qsizetype at, std::uint32_t date) {
  for (int i = 0; i < 5; ++i) put32(r, at + 4 * i, date);
}

void putFork(QByteArray& r, qsizetype at, std::uint64_t logicalSize, std::uint32_t startBlock, std::uint32_t blocks) {
  put64(r, at, logicalSize);
  put32(r, at + 8, blocks * kHfsBlockSize);  // clump size
  put32(r, at + 12, blocks);
  if (blocks > 0) {
    put32(r, at + 16, startBlock);
    put32(r, at + 20, blocks);
  }
}

QByteArray folderRecord(const Item& f) {
  QByteArray r(kFolderRecordSize, '\0');
  put16(r, 0, kFolderRecord);
  put32(r, 4, f.valence);
  put32(r, 8, f.id);
  putDates(r, 12, f.date);
  putBsdInfo(r, 32, f.mode);
  if (f.name == kPrivateDataFolder) put16(r, 56, kInvisibleFinderFlag);
  return r;
}

QByteArray fileRecord(const Item& f) {
  QByteArray r(kFileRecordSize, '\0');
  put16(r, 0, kFileRecord);
  put16(r, 2, kThreadExistsFlag | f.recordFlags);
  put32(r, 8, f.id);
  putDates(r, 12, f.date);
  if (f.kind == Kind::HardLink) {
    // As the Mac writes a link: read-only and immutable, its node's id in the BSD info.
    putBsdInfo(r, 32, 0100444, f.special, kImmutableOwnerFlag);
    put32(r, 48, be::code(hfs::kHardLinkType));
    put32(r, 52, be::code(hfs::kHardLinkCreator));
    put16(r, 56, kHasBeenInitedFinderFlag);
    return r;
  }
  putBsdInfo(r, 32, f.mode, f.special);
  if (f.kind == Kind::Link) {
    put32(r, 48, be::code("slnk"));
    put32(r, 52, be::code("rhap"));
  }
  putFork(r, 88, f.size, f.startBlock, f.blocks);
  return r;
}

QByteArray threadRecord(std::uint16_t type, std::uint32_t parent, const QString& name) {
  const QByteArray key = catalogKey(parent, name);  // the same layout as a key, minus its length
  QByteArray r(4, '\0');
  put16(r, 0, type);
  return r + key.mid(2);
}

struct Record {
  std::uint32_t parent;
  QString name;
  QByteArray key;
  QByteArray data;
};

struct TreeShape {
  std::uint16_t depth = 0;
  std::uint32_t root = 0;
  std::uint32_t leafRecords = 0;
  std::uint32_t firstLeaf = 0;
  std::uint32_t lastLeaf = 0;
};

// One B-tree file: the header node, the leaf nodes (in key order) and the index levels above
// them. Fails when the tree would need map nodes beyond the header's map record.
bool buildBTree(const std::vector<Record>& records, std::uint16_t maxKeyLength, std::uint8_t compareType,
                std::uint32_t attributes, QByteArray* file, QString* why) {
  constexpr int kNodeSize = kHfsBlockSize;
  struct Node {
    std::int8_t kind;
    std::uint8_t height;
    std::vector<QByteArray> records;
  };
  std::vector<Node> nodes{{kHeaderNode, 0, {}}};
  // Packs records into nodes of one level; gives the numbers of the nodes made.
  const auto pack = [&](const std::vector<QByteArray>& recs, std::int8_t kind, std::uint8_t height) {
    std::vector<std::uint32_t> made;
    int used = kNodeDescriptorSize + 2;
    for (const QByteArray& rec : recs) {
      if (made.empty() || used + rec.size() + 2 > kNodeSize) {
        made.push_back(static_cast<std::uint32_t>(nodes.size()));
        nodes.push_back({kind, height, {}});
        used = kNodeDescriptorSize + 2;
      }
      nodes.back().records.push_back(rec);
      used += static_cast<int>(rec.size()) + 2;
    }
    return made;
  };

  TreeShape shape;
  std::vector<QByteArray> leafRecs;
  for (const Record& r : records) leafRecs.push_back(r.key + r.data);
  std::vector<std::uint32_t> level = pack(leafRecs, kLeafNode, 1);
  if (!level.empty()) {
    shape.depth = 1;
    shape.leafRecords = static_cast<std::uint32_t>(records.size());
    shape.firstLeaf = level.front();
    shape.lastLeaf = level.back();
    std::vector<QByteArray> firstKeys;
    std::size_t at = 0;
    for (const std::uint32_t n : level) {
      firstKeys.push_back(records[at].key);
      at += nodes[n].records.size();
    }
    while (level.size() > 1) {
      std::vector<QByteArray> indexRecs;
      for (std::size_t i = 0; i < level.size(); ++i) {
        QByteArray pointer(4, '\0');
        put32(pointer, 0, level[i]);
        indexRecs.push_back(firstKeys[i] + pointer);
      }
      ++shape.depth;
      std::vector<QByteArray> upperKeys;
      std::size_t i = 0;
      const std::vector<std::uint32_t> upper = pack(indexRecs, kIndexNode, static_cast<std::uint8_t>(shape.depth));
      for (const std::uint32_t n : upper) {
        upperKeys.push_back(firstKeys[i]);
        i += nodes[n].records.size();
      }
      level = upper;
      firstKeys = upperKeys;
    }
    shape.root = level.front();
  }

  const std::uint32_t totalNodes = static_cast<std::uint32_t>(nodes.size());
  const int mapBytes = kNodeSize - kNodeDescriptorSize - kHeaderRecordSize - kUserDataRecordSize - 8;
  if (totalNodes > static_cast<std::uint32_t>(mapBytes) * 8) {
    *why = QStringLiteral("too many files for one volume");
    return false;
  }
  QByteArray header(kHeaderRecordSize, '\0');
  put16(header, 0, shape.depth);
  put32(header, 2, shape.root);
  put32(header, 6, shape.leafRecords);
  put32(header, kHeaderFirstLeafField, shape.firstLeaf);
  put32(header, 14, shape.lastLeaf);
  put16(header, kHeaderNodeSizeField, kNodeSize);
  put16(header, 20, maxKeyLength);
  put32(header, kHeaderTotalNodesField, totalNodes);
  put32(header, 26, 0);  // free nodes
  put32(header, 32, totalNodes * kNodeSize);
  put8(header, 36, 0);  // a file system's own tree
  put8(header, 37, compareType);
  put32(header, 38, attributes);
  QByteArray map(mapBytes, '\0');
  for (std::uint32_t n = 0; n < totalNodes; ++n) map[n / 8] = static_cast<char>(map[n / 8] | (0x80 >> (n % 8)));
  nodes[0].records = {header, QByteArray(kUserDataRecordSize, '\0'), map};

  file->fill('\0', static_cast<qsizetype>(totalNodes) * kNodeSize);
  for (std::uint32_t n = 0; n < totalNodes; ++n) {
    QByteArray node(kNodeSize, '\0');
    const Node& nd = nodes[n];
    // Siblings of one level are linked in order.
    if (n + 1 < totalNodes && nodes[n + 1].kind == nd.kind && nodes[n + 1].height == nd.height && n > 0) {
      put32(node, 0, n + 1);
    }
    if (n > 1 && nodes[n - 1].kind == nd.kind && nodes[n - 1].height == nd.height) put32(node, 4, n - 1);
    put8(node, 8, static_cast<std::uint8_t>(nd.kind));
    put8(node, 9, nd.height);
    put16(node, 10, static_cast<std::uint16_t>(nd.records.size()));
    int offset = kNodeDescriptorSize;
    for (std::size_t i = 0; i < nd.records.size(); ++i) {
      node.replace(offset, nd.records[i].size(), nd.records[i]);
      put16(node, kNodeSize - 2 * static_cast<qsizetype>(i + 1), static_cast<std::uint16_t>(offset));
      offset += static_cast<int>(nd.records[i].size());
    }
    put16(node, kNodeSize - 2 * static_cast<qsizetype>(nd.records.size() + 1), static_cast<std::uint16_t>(offset));
    file->replace(static_cast<qsizetype>(n) * kNodeSize, kNodeSize, node);
  }
  return true;
}

// Gathers the items under `folder`, numbering them from `nextId` on.
bool gather(const QByteArray& folder, std::uint32_t parent, std::uint32_t* nextId, std::vector<Item>* items,
            std::uint32_t* valence, QString* why) {
  std::vector<tree::Entry> entries = tree::entriesOf(folder);
  std::sort(entries.begin(), entries.end(), [](const tree::Entry& a, const tree::Entry& b) { return a.name < b.name; });
  *valence = 0;
  for (const tree::Entry& entry : entries) {
    const QByteArray path = folder + '/' + entry.name;
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) {
      *why = QStringLiteral("cannot read ") + QFile::decodeName(path);
      return false;
    }
    const std::optional<QString> name = nameFromBytes(entry.name);
    Item item;
    item.parent = parent;
    item.name = name ? catalogName(*name) : QString();
    item.source = path;
    item.date = hfsTime(QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec));
    if (!name || item.name.size() > kMaxNameLength) {
      *why = QStringLiteral("no name on the volume for ") + QFile::decodeName(path);
      return false;
    }
    if (S_ISLNK(st.st_mode)) {
      item.kind = Kind::Link;
      item.linkTarget.resize(st.st_size + 1);
      const ssize_t n = ::readlink(path.constData(), item.linkTarget.data(), item.linkTarget.size());
      if (n < 0 || n > st.st_size) {
        *why = QStringLiteral("cannot read the link ") + QFile::decodeName(path);
        return false;
      }
      item.linkTarget.truncate(n);
      item.size = static_cast<std::uint64_t>(n);
      item.mode = 0120755;
    } else if (S_ISDIR(st.st_mode)) {
      item.kind = Kind::Folder;
      item.mode = 040755;
    } else if (S_ISREG(st.st_mode)) {
      item.kind = Kind::File;
      item.size = static_cast<std::uint64_t>(st.st_size);
      item.mode = (st.st_mode & S_IXUSR) ? 0100755 : 0100644;
      if (st.st_nlink > 1) item.inode = {st.st_dev, st.st_ino};
    } else {
      continue;  // devices, pipes and sockets have no place on a distributed volume
    }
    item.id = (*nextId)++;
    ++*valence;
    items->push_back(item);
    if (item.kind == Kind::Folder) {
      const std::size_t at = items->size() - 1;
      std::uint32_t inner = 0;
      if (!gather(path, item.id, nextId, items, &inner, why)) return false;
      (*items)[at].valence = inner;
    }
  }
  return true;
}

// Files of the tree that are one file (hard links of each other): each becomes a link to one
// indirect node in the private folder, as a Mac keeps them; or, for a shared-extent volume, all
// but the first point at the first one's blocks. Gives the private folder's valence (0: none).
std::uint32_t linkHardLinks(std::vector<Item>* items, std::uint32_t* nextId, std::uint32_t now, bool shareBlocks) {
  std::map<std::pair<dev_t, ino_t>, std::vector<std::size_t>> files;
  for (std::size_t i = 0; i < items->size(); ++i) {
    if ((*items)[i].kind == Kind::File && (*items)[i].inode != std::pair<dev_t, ino_t>{}) files[(*items)[i].inode].push_back(i);
  }
  std::vector<Item> nodes;
  for (const auto& [inode, places] : files) {
    if (places.size() < 2) continue;  // its other links lie outside the tree
    if (shareBlocks) {
      for (std::size_t k = 1; k < places.size(); ++k) (*items)[places[k]].ownsBlocks = false;
      continue;
    }
    Item node = (*items)[places.front()];
    node.id = (*nextId)++;
    node.name = QStringLiteral("iNode%1").arg(node.id);
    node.special = static_cast<std::uint32_t>(places.size());
    node.recordFlags = kHasLinkChainFlag;
    node.date = now;
    nodes.push_back(node);
    for (const std::size_t at : places) {
      Item& link = (*items)[at];
      link.kind = Kind::HardLink;
      link.size = 0;
      link.special = node.id;
      link.recordFlags = kHasLinkChainFlag;
    }
  }
  if (nodes.empty()) return 0;
  Item folder;
  folder.kind = Kind::Folder;
  folder.id = (*nextId)++;
  folder.parent = kRootFolderId;
  folder.name = kPrivateDataFolder;
  folder.date = now;
  folder.mode = 040000;
  folder.valence = static_cast<std::uint32_t>(nodes.size());
  items->push_back(folder);
  for (Item& node : nodes) {
    node.parent = folder.id;
    items->push_back(node);
  }
  return folder.valence;
}

bool writeAt(QFile& out, qint64 at, const QByteArray& bytes, QString* why) {
  if (out.seek(at) && out.write(bytes) == bytes.size()) return true;
  *why = out.fileName() + QStringLiteral(": ") + out.errorString();
  return false;
}

bool copyData(const Item& item, QFile& out, QString* why) {
  const qint64 at = static_cast<qint64>(item.startBlock) * kHfsBlockSize;
  if (item.kind == Kind::Link) return writeAt(out, at, item.linkTarget, why);
  const platform::FileDescriptor fd(::open(item.source.constData(), O_RDONLY | O_CLOEXEC));
  QFile in;
  if (fd.get() < 0 || !in.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
    *why = QFile::decodeName(item.source) + QStringLiteral(": cannot open");
    return false;
  }
  if (!out.seek(at)) {
    *why = out.errorString();
    return false;
  }
  QByteArray buffer(1 << 20, Qt::Uninitialized);
  std::uint64_t left = item.size;
  while (left > 0) {
    const qint64 n = in.read(buffer.data(), static_cast<qint64>(std::min<std::uint64_t>(left, buffer.size())));
    // The volume file starts out sparse: runs of zeros are skipped, not written.
    const bool zeros = n > 0 && std::all_of(buffer.cbegin(), buffer.cbegin() + n, [](char c) { return c == 0; });
    if (n <= 0 || !(zeros ? out.seek(out.pos() + n) : out.write(buffer.constData(), n) == n)) {
      *why = QFile::decodeName(item.source) + QStringLiteral(" changed or could not be copied");
      return false;
    }
    left -= static_cast<std::uint64_t>(n);
  }
  return true;
}

}  // namespace

bool writeHfsPlusVolume(const QString& folder, const QString& volumeName, QFile& out, QString* why,
                        const HfsPlusOptions& options) {
  const QString rootName = catalogName(volumeName);
  if (rootName.isEmpty() || rootName.size() > kMaxNameLength) {
    *why = QStringLiteral("no usable volume name");
    return false;
  }
  const std::uint32_t now = hfsTime(QDateTime::currentDateTimeUtc());
  std::vector<Item> items;
  std::uint32_t nextId = kFirstUserId;
  Item root;
  root.kind = Kind::Folder;
  root.id = kRootFolderId;
  root.parent = kRootParentId;
  root.name = rootName;
  root.date = now;
  root.mode = 040755;
  if (!gather(QFile::encodeName(folder), kRootFolderId, &nextId, &items, &root.valence, why)) return false;
  if (linkHardLinks(&items, &nextId, now, options.hardLinksShareBlocks) > 0) ++root.valence;

  // The catalog: every item and the root, each with its thread record.
  std::vector<Record> records;
  std::uint32_t files = 0;
  std::uint32_t folders = 0;
  const auto addRecords = [&](const Item& item) {
    const bool isFolder = item.kind == Kind::Folder;
    records.push_back({item.parent, item.name, catalogKey(item.parent, item.name),
                       isFolder ? folderRecord(item) : fileRecord(item)});
    records.push_back({item.id, QString(), catalogKey(item.id, QString()),
                       threadRecord(isFolder ? kFolderThreadRecord : kFileThreadRecord, item.parent, item.name)});
  };
  // Blocks: 0 holds the volume header; then the allocation file, the extents tree (one node),
  // the catalog, the data forks, some free room, and the last block with the spare header.
  // The catalog's size does not depend on where the forks lie, so a first build sizes it.
  const auto catalogFor = [&](QByteArray* catalog) {
    records.clear();
    addRecords(root);
    for (const Item& item : items) addRecords(item);
    std::sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
      return a.parent != b.parent ? a.parent < b.parent : nameLess(a.name, b.name);
    });
    return buildBTree(records, kCatalogMaxKeyLength, kCaseFoldingCompare, kBigKeysAttribute | kVariableIndexKeysAttribute,
                      catalog, why);
  };
  QByteArray catalog;
  if (!catalogFor(&catalog)) return false;
  const std::uint32_t catalogBlocks = blocksFor(static_cast<std::uint64_t>(catalog.size()));
  std::uint64_t dataBlocks = 0;
  for (const Item& item : items) {
    if (item.kind != Kind::Folder && item.ownsBlocks) dataBlocks += blocksFor(item.size);
    (item.kind == Kind::Folder ? folders : files) += 1;
  }
  const std::uint64_t fixedBlocks = 1 + 1 + catalogBlocks + dataBlocks + kSlackBlocks + 1;
  std::uint64_t allocationBlocks = 1;
  while (blocksFor((fixedBlocks + allocationBlocks + 7) / 8) > allocationBlocks) ++allocationBlocks;
  const std::uint64_t totalBlocks64 = fixedBlocks + allocationBlocks;
  if (totalBlocks64 > 0xFFFFFFFFULL) {
    *why = QStringLiteral("too much data for one volume");
    return false;
  }
  const auto totalBlocks = static_cast<std::uint32_t>(totalBlocks64);
  const auto allocationStart = 1u;
  const auto extentsStart = allocationStart + static_cast<std::uint32_t>(allocationBlocks);
  const auto catalogStart = extentsStart + 1;
  std::uint32_t next = catalogStart + catalogBlocks;
  std::map<std::pair<dev_t, ino_t>, const Item*> owners;  // shared blocks: whose they are
  for (Item& item : items) {
    if (item.kind == Kind::Folder || item.size == 0 || !item.ownsBlocks) continue;
    item.startBlock = next;
    item.blocks = blocksFor(item.size);
    next += item.blocks;
    owners.emplace(item.inode, &item);
  }
  for (Item& item : items) {
    if (item.ownsBlocks || item.size == 0) continue;
    item.startBlock = owners.at(item.inode)->startBlock;
    item.blocks = owners.at(item.inode)->blocks;
  }
  if (!catalogFor(&catalog)) return false;  // now with the forks' places
  QByteArray extents;
  if (!buildBTree({}, kExtentsMaxKeyLength, 0, kBigKeysAttribute, &extents, why)) return false;

  // Used blocks: everything up to the end of the data, and the last block.
  QByteArray bitmap(static_cast<qsizetype>(allocationBlocks) * kHfsBlockSize, '\0');
  const auto markUsed = [&](std::uint32_t b) { bitmap[b / 8] = static_cast<char>(bitmap[b / 8] | (0x80 >> (b % 8))); };
  for (std::uint32_t b = 0; b < next; ++b) markUsed(b);
  markUsed(totalBlocks - 1);
  const std::uint32_t usedBlocks = next + 1;

  QByteArray header(kVolumeHeaderSize, '\0');
  put16(header, 0, kHfsPlusSignature);
  put16(header, 2, 4);
  put32(header, 4, kVolumeUnmountedAttribute);
  put32(header, 8, be::code("10.0"));
  put32(header, 16, now);
  put32(header, 20, now);
  put32(header, 28, now);
  put32(header, 32, files);
  put32(header, 36, folders);
  put32(header, kBlockSizeField, kHfsBlockSize);
  put32(header, 44, totalBlocks);
  put32(header, 48, totalBlocks - usedBlocks);
  put32(header, 52, next);
  put32(header, 56, 65536);
  put32(header, 60, 65536);
  put32(header, 64, nextId);
  put32(header, 68, 1);
  put64(header, 72, 1);  // the Mac Roman text encoding
  putFork(header, kAllocationForkField, bitmap.size(), allocationStart, static_cast<std::uint32_t>(allocationBlocks));
  putFork(header, kExtentsForkField, extents.size(), extentsStart, 1);
  putFork(header, kCatalogForkField, catalog.size(), catalogStart, catalogBlocks);

  const qint64 volumeSize = static_cast<qint64>(totalBlocks) * kHfsBlockSize;
  if (!out.resize(volumeSize)) {
    *why = out.fileName() + QStringLiteral(": ") + out.errorString();
    return false;
  }
  if (!writeAt(out, kVolumeHeaderOffset, header, why) || !writeAt(out, volumeSize - 1024, header, why) ||
      !writeAt(out, static_cast<qint64>(allocationStart) * kHfsBlockSize, bitmap, why) ||
      !writeAt(out, static_cast<qint64>(extentsStart) * kHfsBlockSize, extents, why) ||
      !writeAt(out, static_cast<qint64>(catalogStart) * kHfsBlockSize, catalog, why)) {
    return false;
  }
  for (const Item& item : items) {
    if (item.blocks > 0 && item.ownsBlocks && !copyData(item, out, why)) return false;
  }
  return out.flush() || (*why = out.errorString(), false);
}

}  // namespace diskimage
