//===- RegfReader.h - Windows hive files (REGF) read whole and checked -----===//
//
// Reads a whole hive file into the tree the hive writer writes (RegfWriter.h)
// and checks it as it goes, so that a hive is only ever rewritten from a
// file that holds together. Windows walks a hive by its references and
// trusts them; a hive rewritten from a damaged one is damaged for good, now
// with a clean header. Only code that works on every Unix.
//
// What must hold, or the file is refused with the first fault found:
// - The base block: "regf", equal sequence numbers (a hive Windows left
//   dirty is not ours to rewrite), its checksum, format 1.3 to 1.6 of a
//   primary file, and bins that fit in the file.
// - The bins: consecutive "hbin" blocks, each saying where it is and how
//   large (a multiple of 4096); cells tiling each bin exactly, 8-aligned.
// - Every reference, from the root key down: to the start of a used cell
//   large enough for what is read there, of the kind expected; no cell
//   but a security cell referenced twice, so no cycle and no sharing.
// - Keys: a non-root key's name is 1 to 255 units and its node names its
//   real parent; sub-key counts agree with the lists; the entries of a
//   key's lists (fast, hash and index leaves, under at most one index
//   root) in strictly increasing order of upper-cased name, and a hash
//   leaf's hashes Windows' own.
// - Values: names unique in their key; inline data of at most 4 bytes; data
//   beyond 16,344 bytes in a hive of format 1.4 or later through a big data
//   record whose segments hold it all.
// - Security cells: in one ring, each counting at least the keys that use
//   it (Windows' count may include volatile keys; never fewer).
// - At most 512 levels of keys, as Windows allows.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "RegfWriter.h"

#include <string>
#include <string_view>

namespace zelsys::posix {

// Fills hive from image, or returns false with the fault in problem (hive
// is then unspecified). Keys come parents first, each key's sub-keys in
// the order the hive keeps them.
bool readRegf(std::string_view image, HiveFile &hive, std::string &problem);

// The minor version a base block states.
std::uint32_t regfMinorVersion(std::string_view baseBlock);

} // namespace zelsys::posix
