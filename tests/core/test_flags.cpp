// test_flags.cpp - CZELFlags: membership, the set/clear rules, bit lookups.
#include "zel_flags.h"
#include "zel_test_support.h"

#include <vector>

namespace {

// One set or clear on a starting word: whether it reports a change and the
// word it leaves.
struct EditCase {
  ZEL_ULONG start;
  bool set; // operator<< when true, operator>> otherwise
  ZEL_ULONG flags;
  bool result;
  ZEL_ULONG after;
};

} // namespace

TEST(Flags, HasFlagsNeedsEveryBit) {
  EXPECT_TRUE(CZELFlags(0).hasFlags(0));
  EXPECT_FALSE(CZELFlags(0).hasFlags(1));
  EXPECT_TRUE(CZELFlags(6).hasFlags(2));
  EXPECT_TRUE(CZELFlags(6).hasFlags(6));
  EXPECT_FALSE(CZELFlags(6).hasFlags(3)) << "bit 0 is clear";
}

TEST(Flags, SetAndClearReportOnlyRealChanges) {
  const std::vector<EditCase> cases = {
      {0, true, 0, false, 0}, // setting nothing
      {6, true, 4, false, 6}, // already set
      {6, true, 6, false, 6}, // all already set
      {6, true, 9, true, 15}, // new bits
      {6, true, 3, true, 7},  // partly set: the missing bit is added
      {0, true, 0x80000000u, true, 0x80000000u},
      {6, false, 3, false, 6}, // bit 0 is clear: nothing is cleared
      {6, false, 0, false, 6}, // clearing nothing
      {6, false, 2, true, 4},  // one of two
      {6, false, 6, true, 0},  // all of them
      {0xFFFFFFFFu, false, 0x80000001u, true, 0x7FFFFFFEu},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const EditCase &c = cases[i];
    CZELFlags word(c.start);
    const bool result = c.set ? (word << c.flags) : (word >> c.flags);
    EXPECT_EQ(result, c.result) << "case " << i;
    EXPECT_EQ(word.getFlags(), c.after) << "case " << i;
  }
}

TEST(Flags, GetIndexGivesTheHighestBitOfSetFlags) {
  const CZELFlags word(6);
  ZEL_ULONG index = 99;
  EXPECT_TRUE(word.getIndex(6, index));
  EXPECT_EQ(index, 2u);
  EXPECT_TRUE(word.getIndex(2, index));
  EXPECT_EQ(index, 1u);

  index = 99;
  EXPECT_FALSE(word.getIndex(1, index)) << "bit 0 is clear";
  EXPECT_FALSE(word.getIndex(0, index)) << "no flags asked for";
  EXPECT_EQ(index, 99u) << "output written on failure";

  const CZELFlags top(0x80000001u);
  EXPECT_TRUE(top.getIndex(0x80000001u, index));
  EXPECT_EQ(index, 31u);
}

TEST(Flags, GetFlagMasksTheWordAndRejectsIndexesPastTheWord) {
  const CZELFlags word(6);
  ZEL_ULONG flag = 99;
  EXPECT_TRUE(word.getFlag(1, flag));
  EXPECT_EQ(flag, 2u);
  EXPECT_TRUE(word.getFlag(0, flag)) << "a clear flag is still an answer";
  EXPECT_EQ(flag, 0u);

  const CZELFlags top(0x80000000u);
  EXPECT_TRUE(top.getFlag(31, flag));
  EXPECT_EQ(flag, 0x80000000u);

  flag = 99;
  EXPECT_FALSE(word.getFlag(32, flag));
  EXPECT_FALSE(word.getFlag(0xFFFFFFFFu, flag));
  EXPECT_EQ(flag, 99u);
}
