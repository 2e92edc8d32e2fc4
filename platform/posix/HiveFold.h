//===- HiveFold.h - A journal's calls applied to a whole hive --------------===//
//
// The checkpoint reads a hive whole (RegfReader.h), applies its journal's
// operations here and writes the result whole (RegfWriter.h). The results
// are those the hive store gives its memory when it replays the same
// operations. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "HiveJournal.h"
#include "RegfWriter.h"

#include <cstdint>
#include <vector>

namespace zelsys::posix {

// Applies the operations in order. A key whose values or sub-keys change
// takes the time now, as Windows stamps it; a new key takes its parent's
// security descriptor. Afterwards the keys come parents first and nothing
// of a deleted one is left.
void foldIntoHive(HiveFile &hive, const std::vector<HiveOperation> &ops, std::uint64_t now);

} // namespace zelsys::posix
