//===- HiveBigData.h - Large value data in big data records ----------------===//
//
// hivex commits a value of more than 16,344 bytes as one plain data cell, but
// Windows reads such data in a format 1.4 or later hive only through a big
// data record ("db": a list of segments of at most 16,344 bytes) and would
// take the plain cell for one. This moves every such cell of a hive image
// into a big data record, laid out as the hive writer lays it out (a segment
// cell keeps 4 spare bytes), all in one new bin at the end; the old cell is
// freed and the base block's bins size and checksum are renewed. Hives of
// format 1.3 and earlier know no big data and are left as they are. Only
// code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

namespace zelsys::posix {

// Whether the image changed. An image whose bins do not add up is left
// alone (false): this repairs hivex's output, it does not judge hives.
bool moveBigDataIntoRecords(std::string &image);

} // namespace zelsys::posix
