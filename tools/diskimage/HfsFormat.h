#pragma once

#include <QString>

#include <cstdint>

// Where the HFS+ writer puts, and the catalog reader finds, what both need of the format.
namespace diskimage::hfs {

// The volume header lies this far into the volume.
inline constexpr int kVolumeHeaderOffset = 1024;

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

// The folder at the root that holds hard-linked files, named so that no one lists it; each
// linked file lies there as "iNode<its id>", and each of its places holds a link record of
// this file type and creator.
inline const QString kPrivateDataFolder = QString(4, QChar(0)) + QStringLiteral("HFS+ Private Data");
inline constexpr char kHardLinkType[] = "hlnk";
inline constexpr char kHardLinkCreator[] = "hfs+";

}  // namespace diskimage::hfs
