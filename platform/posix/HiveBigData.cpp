//===- HiveBigData.cpp - Large value data in big data records -------------===//
//
// The cell walk and the new bin; the rules are in HiveBigData.h. Only code
// that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "HiveBigData.h"
#include "RegfWriter.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace zelsys::posix {

namespace {

std::uint32_t peek32(const std::string &image, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = (v << 8) | static_cast<unsigned char>(image[at + static_cast<std::size_t>(i)]);
  return v;
}
void poke32(std::string &image, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    image[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xff);
}

} // namespace

bool moveBigDataIntoRecords(std::string &image) {
  constexpr std::size_t kBase = 4096, kBinHeader = 32;
  if (image.size() < kBase || image.compare(0, 4, "regf") != 0 || peek32(image, 24) < 4)
    return false;
  const std::size_t end = kBase + peek32(image, 40);
  if (end > image.size())
    return false;
  struct Move {
    std::size_t valueNode, dataCell;
    std::uint32_t length;
  };
  std::vector<Move> moves;
  for (std::size_t bin = kBase; bin + kBinHeader <= end;) {
    const std::size_t binSize = peek32(image, bin + 8);
    if (image.compare(bin, 4, "hbin") != 0 || binSize < kBinHeader || binSize > end - bin)
      return false;
    for (std::size_t cell = bin + kBinHeader; cell + 8 <= bin + binSize;) {
      const auto size = static_cast<std::int32_t>(peek32(image, cell));
      const std::size_t span = size < 0 ? 0u - static_cast<std::size_t>(size) : std::size_t(size);
      if (span < 8 || span > bin + binSize - cell)
        return false;
      if (size < 0 && span >= 20 && image.compare(cell + 4, 2, "vk") == 0) {
        const std::uint32_t length = peek32(image, cell + 8);
        const std::size_t data = kBase + peek32(image, cell + 12);
        if (!(length & 0x80000000u) && length > kBigDataSegment && data + 4 <= end) {
          const auto dataSize = static_cast<std::int32_t>(peek32(image, data));
          // A big data record's cell is far smaller than its data.
          if (dataSize < 0 && 0u - static_cast<std::uint64_t>(dataSize) >= length + 4ull &&
              data + length + 4 <= end)
            moves.push_back({cell, data, length});
        }
      }
      cell += span;
    }
    bin += binSize;
  }
  if (moves.empty())
    return false;
  image.resize(end);
  std::string cells;
  auto allocate = [&](std::size_t size) {
    const std::size_t at = kBinHeader + cells.size();
    const std::size_t span = (size + 4 + 7) & ~std::size_t{7};
    cells.append(span, '\0');
    poke32(cells, at - kBinHeader, 0u - static_cast<std::uint32_t>(span)); // in use
    return at; // offset inside the new bin
  };
  const std::size_t binOffset = end - kBase;
  std::vector<std::pair<std::size_t, std::size_t>> records; // value node, record
  for (const Move &move : moves) {
    std::vector<std::size_t> segments;
    for (std::size_t at = 0; at < move.length; at += kBigDataSegment) {
      const std::size_t piece = std::min<std::size_t>(kBigDataSegment, move.length - at);
      // Four spare bytes a segment, as the hive writer leaves them.
      segments.push_back(allocate(piece + 4));
      cells.replace(segments.back() - kBinHeader + 4, piece, image, move.dataCell + 4 + at, piece);
    }
    const std::size_t list = allocate(4 * segments.size());
    for (std::size_t i = 0; i < segments.size(); ++i)
      poke32(cells, list - kBinHeader + 4 + 4 * i,
             static_cast<std::uint32_t>(binOffset + segments[i]));
    const std::size_t record = allocate(8);
    cells.replace(record - kBinHeader + 4, 2, "db");
    cells[record - kBinHeader + 6] = static_cast<char>(segments.size() & 0xff);
    cells[record - kBinHeader + 7] = static_cast<char>(segments.size() >> 8);
    poke32(cells, record - kBinHeader + 8, static_cast<std::uint32_t>(binOffset + list));
    records.emplace_back(move.valueNode, record);
    // The plain cell is free from now on.
    poke32(image, move.dataCell, 0u - peek32(image, move.dataCell));
  }
  for (const auto &[valueNode, record] : records)
    poke32(image, valueNode + 12, static_cast<std::uint32_t>(binOffset + record));
  const std::size_t binSize = (kBinHeader + cells.size() + 4095) & ~std::size_t{4095};
  std::string bin(binSize, '\0');
  bin.replace(0, 4, "hbin");
  poke32(bin, 4, static_cast<std::uint32_t>(binOffset));
  poke32(bin, 8, static_cast<std::uint32_t>(binSize));
  bin.replace(20, 8, image, 12, 8); // the hive's last write
  bin.replace(kBinHeader, cells.size(), cells);
  if (kBinHeader + cells.size() < binSize)
    poke32(bin, kBinHeader + cells.size(),
           static_cast<std::uint32_t>(binSize - kBinHeader - cells.size()));
  image += bin;
  poke32(image, 40, static_cast<std::uint32_t>(image.size() - kBase));
  std::uint32_t sum = 0;
  for (std::size_t at = 0; at < 508; at += 4)
    sum ^= peek32(image, at);
  poke32(image, 508, sum == 0xFFFFFFFFu ? 0xFFFFFFFEu : sum == 0 ? 1 : sum);
  return true;
}

} // namespace zelsys::posix
