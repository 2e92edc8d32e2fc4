//===- RegfWriter.h - Windows hive files (REGF) written from a tree --------===//
//
// Writes a whole registry hive file in Windows' own on-disk format, so an
// installation laid out on Linux has hives that Windows and hive tools read.
// The writer never edits a file: it builds the complete image in memory and
// puts it in place whole. Only code that works on every Unix.
//
// The file as written, all numbers little-endian:
// - A 4096-byte base block: "regf", equal sequence numbers (a clean hive),
//   format 1.5 (Windows XP and later, which know big data records and hash
//   leaves), the root key's cell, the size of the bins, the file's name and
//   the checksum (the XOR of the first 127 dwords).
// - Hive bins ("hbin") of 4096 bytes or a multiple of it for a larger cell;
//   cells are 8-byte aligned, a used cell's size is negative, the rest of a
//   bin is one free cell. Cell offsets count from the first bin.
// - One key node ("nk") per key, with its last-write time, its figures (the
//   longest sub-key, class and value names in UTF-16 bytes, the largest
//   data) and its security cell ("sk"; a new tree's keys share one:
//   Administrators and SYSTEM full control, Everyone read, inherited by
//   sub-keys), each security cell counting the keys that use it and all of
//   them in one ring. A name is stored in one byte a unit when it fits
//   Latin-1, as Windows stores it, else as UTF-16LE.
// - Sub-keys in hash leaves ("lh", the hash being the upper-cased name's
//   units folded by *37), sorted by upper-cased name as Windows looks them
//   up; more than kLeafSize sub-keys go in several leaves under an index
//   root ("ri").
// - Values ("vk") in a value list; data of 4 bytes or less inside the value
//   node, data up to 16,344 bytes in one cell, larger data in a big data
//   record ("db") of 16,344-byte segments (the last one shorter), each in a
//   cell with 4 spare bytes, which some readers count on.
//
// A tree that Windows could not hold (two siblings whose names differ only
// in case, an empty or too long name, a backslash in a key name, a parent
// after its child) is refused with ERROR_INVALID_PARAMETER.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "RegistryStore.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zelsys::posix {

// One key of a hive. The first key is the hive's root; every other key
// names its parent by index, and a parent comes before its children.
struct HiveKey {
  std::u16string name;
  std::u16string keyClass;
  std::uint64_t written = 0; // FILETIME: 100 ns since 1601
  std::vector<ValueRecord> values;
  std::size_t parent = 0;
  // What a key read back from a hive keeps, so that rewriting the hive
  // changes only what was asked: the node's flags (less the name's form),
  // its access bits, the upper half of its longest-name field (user and
  // virtualisation flags) and its security descriptor, an index into
  // HiveFile::descriptors.
  std::uint16_t flags = 0;
  std::uint32_t accessBits = 0;
  std::uint16_t userFlags = 0;
  std::size_t security = 0;
};
using HiveTree = std::vector<HiveKey>;

// A whole hive: its keys as above, its distinct security descriptors
// (self-relative; none means the writer's default one for every key) and
// the base block it was read with (empty for a new hive of format 1.5). A
// base block given is kept but for what the writer must renew: the
// sequence numbers (one past the old primary, both equal), the time, the
// root cell, the bins' size and the checksum. Its minor version decides the
// form: hash leaves from 1.5, big data records from 1.4, and before those
// fast leaves and one cell however large the data.
struct HiveFile {
  HiveTree keys;
  std::vector<std::string> descriptors;
  std::string baseBlock;
};

// Sub-keys a single hash leaf holds before an index root splits them.
constexpr std::size_t kLeafSize = 512;
// Data bytes of one big data segment, and so the largest plain data cell.
constexpr std::size_t kBigDataSegment = 16344;

// The hive file's bytes; fileName is recorded in the base block (its last
// 31 units). Throws RegistryFailure{ERROR_INVALID_PARAMETER} for a tree
// Windows could not hold.
std::string encodeRegf(const HiveTree &tree, const std::u16string &fileName);
// The same for a whole hive; a kept base block keeps its file name.
std::string encodeRegf(const HiveFile &hive, const std::u16string &fileName);

// The most data one value may hold in a hive of that minor version:
// Windows' 1 MB before big data records, else as many segments as a record
// can list.
std::size_t maxValueData(std::uint32_t minorVersion);

// Writes the hive to hostPath: a new file beside it, flushed, then renamed
// over it, so hostPath holds either the old file or the whole new one.
DWORD writeRegfFile(const std::string &hostPath, const HiveTree &tree);

} // namespace zelsys::posix
