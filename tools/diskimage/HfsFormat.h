#pragma once

#include <QString>

#include <cstdint>

// Where the HFS+ writer puts, and the catalog reader finds, what both need of the format.
namespace diskimage::hfs {

// The volume header lies this far into the volume.
inline constexpr int kVolumeHeaderOffset = 1024;
inline constexpr int kVolumeHeaderSize = 512;

// Volume header fields: the signature (at its start), the allocation block size, and the fork
// data of the allocation file, the extents overflow file and the catalog file, one after another.
inline constexpr std::uint16_t kHfsPlusSignature = 0x482B;  // "H+"
inline constexpr std::uint16_t kHfsxSignature = 0x4858;     // "HX"
inline constexpr int kBlockSizeField = 40;
inline constexpr int kForkDataSize = 80;
inline constexpr int kAllocationForkField = 112;
inline constexpr int kExtentsForkField = kAllocationForkField + kForkDataSize;
inline constexpr int kCatalogForkField = kAllocationForkField + 2 * kForkDataSize;

// Catalog node IDs the format reserves.
inline constexpr std::uint32_t kRootParentId = 1;
inline constexpr std::uint32_t kRootFolderId = 2;
inline constexpr std::uint32_t kFirstUserId = 16;

// Catalog record types.
inline constexpr std::uint16_t kFolderRecord = 1;
inline constexpr std::uint16_t kFileRecord = 2;
inline constexpr std::uint16_t kFolderThreadRecord = 3;
inline constexpr std::uint16_t kFileThreadRecord = 4;

// B-tree node kinds and the descriptor every node starts with.
inline constexpr std::int8_t kLeafNode = -1;
inline constexpr std::int8_t kIndexNode = 0;
inline constexpr std::int8_t kHeaderNode = 1;
inline constexpr int kNodeDescriptorSize = 14;

// Fields of a B-tree's header record (the first record of its header node, right after the
// descriptor): the first leaf node, the node size, the number of nodes.
inline constexpr int kHeaderFirstLeafField = 10;
inline constexpr int kHeaderNodeSizeField = 18;
inline constexpr int kHeaderTotalNodesField = 22;

// Catalog folder and file records.
inline constexpr int kFolderRecordSize = 88;
inline constexpr int kFileRecordSize = 248;

// The folder at the root that holds hard-linked files, named so that no one lists it; each
// linked file lies there as "iNode<its id>", and each of its places holds a link record of
// this file type and creator.
inline const QString kPrivateDataFolder = QString(4, QChar(0)) + QStringLiteral("HFS+ Private Data");
inline constexpr char kHardLinkType[] = "hlnk";
inline constexpr char kHardLinkCreator[] = "hfs+";

}  // namespace diskimage::hfs
