#pragma once

#include <QByteArray>

#include <vector>

// Folder trees as the disk holds them. Names are bytes: what an archive puts on disk need not
// be UTF-8 (7-Zip writes an archive's names as they come), and such a name must be listed,
// moved and removed like any other.
namespace diskimage::tree {

struct Entry {
  enum class Type { Folder, File, Link, Other };
  QByteArray name;
  Type type = Type::Other;
  qint64 size = 0;
};

// The entries of the folder at `path` (links are not followed), in no particular order; empty
// when it cannot be read.
[[nodiscard]] std::vector<Entry> entriesOf(const QByteArray& path);

// Removes `path` and, for a folder, everything in it; true when nothing is left. Links are
// removed, never followed; read-only folders (a disc image's modes) are made writable first;
// what vanishes meanwhile counts as removed. Holds two descriptors at a time at most, however
// deep the tree.
[[nodiscard]] bool removeTree(const QByteArray& path);

// Moves `from` to `to`, in place of whatever was there.
[[nodiscard]] bool replaceTree(const QByteArray& from, const QByteArray& to);

// The bytes the tree at `path` takes on the disk (its blocks, not its files' sizes).
[[nodiscard]] qint64 allocatedBytes(const QByteArray& path);

}  // namespace diskimage::tree
