// test_buffer.cpp - CZELBuffer: exact sizes, zero-filling on allocation and
// before release, combining, the reinterpreting conversions, and the entries
// its failures write.
#include "zel_buffer.h"
#include "zel_exceptions.h"
#include "zel_test_support.h"

#include <cstdlib>
#include <initializer_list>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

// ---- Array allocations under observation -------------------------------------
// The buffer allocates with new[] and releases with delete[]. Replacing the
// array forms (and only those, so scalar allocations stay the runtime's) lets
// a test poison fresh storage, so that zero-filling must be the buffer's own
// work, and look at storage the moment it is released.

namespace {

bool g_bPoisonArrays = false;
const void *g_pWatched = nullptr;
std::size_t g_cbWatched = 0;
int g_watchedReleases = 0;
bool g_bWatchedWasZero = false;

void *allocateArray(std::size_t cbSize) noexcept {
  void *p = std::malloc(cbSize != 0 ? cbSize : 1);
  if (p && g_bPoisonArrays) {
    unsigned char *pBytes = static_cast<unsigned char *>(p);
    for (std::size_t i = 0; i < cbSize; ++i)
      pBytes[i] = 0xA5;
  }
  return p;
}

void releaseArray(void *p) noexcept {
  if (p && p == g_pWatched) {
    const unsigned char *pBytes = static_cast<const unsigned char *>(p);
    bool bZero = true;
    for (std::size_t i = 0; i < g_cbWatched; ++i)
      bZero = bZero && pBytes[i] == 0;
    g_bWatchedWasZero = bZero;
    ++g_watchedReleases;
    g_pWatched = nullptr;
  }
  std::free(p);
}

} // namespace

void *operator new[](std::size_t cbSize) {
  if (void *p = allocateArray(cbSize))
    return p;
  throw std::bad_alloc();
}
void *operator new[](std::size_t cbSize, const std::nothrow_t &) noexcept {
  return allocateArray(cbSize);
}
void operator delete[](void *p) noexcept { releaseArray(p); }
void operator delete[](void *p, std::size_t) noexcept { releaseArray(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { releaseArray(p); }

namespace {

// Fresh array storage holds 0xA5 bytes while one of these lives.
struct PoisonFreshArrays {
  PoisonFreshArrays() { g_bPoisonArrays = true; }
  ~PoisonFreshArrays() { g_bPoisonArrays = false; }
};

// Watches the release of the buffer's current storage.
template <class T> void watchRelease(const CZELBuffer<T> &buffer) {
  g_pWatched = buffer.getBuffer();
  g_cbWatched = buffer.getSize() * sizeof(T);
  g_watchedReleases = 0;
  g_bWatchedWasZero = false;
}

// ---- Helpers --------------------------------------------------------------------

using Units = std::vector<unsigned>;

// The elements as unsigned numbers (no sign extension of ZEL_CHAR).
template <class T> Units units(const CZELBuffer<T> &buffer) {
  Units result;
  for (ZEL_ULONG i = 0; i < buffer.getSize(); ++i)
    result.push_back(static_cast<std::make_unsigned_t<T>>(buffer.getBuffer()[i]));
  return result;
}

template <class T> CZELBuffer<T> make(const Units &values) {
  std::vector<T> elements;
  for (unsigned value : values)
    elements.push_back(static_cast<T>(value));
  return CZELBuffer<T>(elements.data(), static_cast<ZEL_ULONG>(elements.size()));
}

const std::u16string SOURCE = u".\\zel_buffer";
const std::u16string MEM_ALLOC = u"Unable to allocate memory ( m_pBuffer )";
const std::u16string BUFFER_INIT = u"Unable to initialize CZELBuffer";
const std::u16string INDEX = u"Index out of array bounds";
const std::u16string APPEND_PAST =
    u"A bad argument was provided ( ulOffset ). can't append a buffer at an offset past the "
    u"bounds of this buffer";
const std::u16string WRITE_EMPTY =
    u"A bad argument was provided ( buffer ). buffer is of zero size - can't write";
const std::u16string WRITE_OVERRUN =
    u"A bad argument was provided ( buffer ). buffer + offset will overrun this buffer";
const std::u16string FILL_PAST =
    u"A bad argument was provided ( ulOffset ). value is out of bounds";

// What each exception class records as its value.
ZEL_LONG expectedValue(const std::u16string &message) {
  return message.rfind(u"A bad argument", 0) == 0 ? 0 : -1;
}

// The sink holds exactly these messages, in order, each an exception entry
// of this source file with its class's value.
void expectEntries(const zeltest::RecordingSink &sink, const std::vector<std::u16string> &expected,
                   const std::string &where) {
  const auto &entries = sink.entries();
  ASSERT_EQ(entries.size(), expected.size()) << where;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const zeltest::LoggedEntry &entry = entries[i];
    EXPECT_EQ(entry.message, expected[i])
        << where << ", entry " << i << ": " << zeltest::narrow(entry.message);
    EXPECT_EQ(entry.type, static_cast<ZEL_ULONG>(CZELLogType::EXCEPTION_BAD))
        << where << ", entry " << i;
    EXPECT_EQ(entry.value, expectedValue(expected[i])) << where << ", entry " << i;
    EXPECT_TRUE(entry.detailed) << where << ", entry " << i;
    EXPECT_EQ(entry.sourceFile, SOURCE) << where << ", entry " << i;
    EXPECT_NE(entry.line, 0u) << where << ", entry " << i;
  }
}

std::string caseName(std::size_t index) { return "case " + std::to_string(index); }

template <class T> class BufferOfEachType : public ::testing::Test {};
using ElementTypes = ::testing::Types<ZEL_CHAR, ZEL_BYTE, ZEL_USHORT>;
TYPED_TEST_SUITE(BufferOfEachType, ElementTypes);

} // namespace

// ---- Construction ---------------------------------------------------------------

TYPED_TEST(BufferOfEachType, CountZeroIsEmptyAndNotValid) {
  zeltest::RecordingSink sink;
  const CZELBuffer<TypeParam> defaulted;
  const CZELBuffer<TypeParam> zero(0);
  const TypeParam data[2] = {1, 2};
  const CZELBuffer<TypeParam> noData(data, 0, 5);
  for (const CZELBuffer<TypeParam> *pBuffer : {&defaulted, &zero, &noData}) {
    EXPECT_EQ(pBuffer->getSize(), 0u);
    EXPECT_TRUE(pBuffer->getBuffer() == nullptr);
    EXPECT_FALSE(pBuffer->isValid());
  }
  EXPECT_EQ(sink.count(), 0u);
}

TYPED_TEST(BufferOfEachType, CountConstructorZeroFillsFreshStorage) {
  zeltest::RecordingSink sink;
  PoisonFreshArrays poison;
  const CZELBuffer<TypeParam> buffer(7);
  EXPECT_TRUE(buffer.isValid());
  EXPECT_EQ(units(buffer), Units(7, 0));
  EXPECT_EQ(sink.count(), 0u);
}

TEST(BufferConstruction, FromDataPlacesItAtTheOffsetAfterZeros) {
  struct Case {
    bool bData;
    ZEL_ULONG ulCount;
    ZEL_ULONG ulOffset;
    Units expected;
  };
  const ZEL_USHORT p[] = {0x1111, 0x2222, 0xFFFF, 0x4444};
  const std::vector<Case> cases = {
      {true, 3, 2, {0, 0, 0x1111, 0x2222, 0xFFFF}},
      {true, 3, 0, {0x1111, 0x2222, 0xFFFF}},
      {true, 1, 4, {0, 0, 0, 0, 0x1111}},
      {false, 4, 7, {0, 0, 0, 0}}, // null data: count zeros, the offset ignored
      {false, 0, 3, {}},
      {true, 0, 3, {}},
  };
  zeltest::RecordingSink sink;
  PoisonFreshArrays poison;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case &c = cases[i];
    const CZELBuffer<ZEL_USHORT> buffer(c.bData ? p : nullptr, c.ulCount, c.ulOffset);
    EXPECT_EQ(units(buffer), c.expected) << caseName(i);
    EXPECT_EQ(buffer.isValid(), !c.expected.empty()) << caseName(i);
  }
  EXPECT_EQ(sink.count(), 0u);
}

TEST(BufferConstruction, CopyHoldsItsOwnStorage) {
  zeltest::RecordingSink sink;
  CZELBuffer<ZEL_BYTE> source = make<ZEL_BYTE>({1, 2, 3});
  const CZELBuffer<ZEL_BYTE> copy(source);
  EXPECT_EQ(units(copy), (Units{1, 2, 3}));
  EXPECT_TRUE(copy.getBuffer() != source.getBuffer());
  source[0] = 9;
  EXPECT_EQ(units(copy), (Units{1, 2, 3}));

  const CZELBuffer<ZEL_BYTE> empty;
  const CZELBuffer<ZEL_BYTE> copyOfEmpty(empty);
  EXPECT_TRUE(copyOfEmpty.getBuffer() == nullptr);
  EXPECT_EQ(copyOfEmpty.getSize(), 0u);
  EXPECT_EQ(sink.count(), 0u);
}

TEST(BufferConstruction, ByteSizePast32BitsFailsAndThrows) {
  // 0x80000000 16-bit units are 0x100000000 bytes: a failed allocation, not
  // a wrapped one. Each case is (how, expected entries).
  struct Case {
    void (*construct)();
    const char *what;
  };
  static const ZEL_BYTE data[3] = {1, 2, 3};
  const std::vector<Case> cases = {
      {[] { CZELBuffer<ZEL_USHORT> buffer(0x80000000u); }, "count"},
      {[] { CZELBuffer<ZEL_USHORT> buffer(nullptr, 0x80000000u, 0); }, "null data"},
      {[] { CZELBuffer<ZEL_BYTE> buffer(data, 3, 0xFFFFFFFEu); }, "count + offset wraps"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    zeltest::RecordingSink sink;
    bool bThrown = false;
    try {
      cases[i].construct();
    } catch (const CZELBufferInitException &) {
      bThrown = true; // written when the caught object is destroyed
    }
    EXPECT_TRUE(bThrown) << caseName(i) << " (" << cases[i].what << ")";
    expectEntries(sink, {MEM_ALLOC, BUFFER_INIT}, caseName(i) + " (" + cases[i].what + ")");
  }
}

TEST(BufferConstruction, HugeRequestFailsCleanly) {
  if (sizeof(void *) != 4)
    GTEST_SKIP() << "a 4 GiB request is served on a 64-bit host";
  zeltest::RecordingSink sink;
  EXPECT_THROW(CZELBuffer<ZEL_BYTE> buffer(0xFFFFFFFFu), CZELBufferInitException);
  expectEntries(sink, {MEM_ALLOC, BUFFER_INIT}, "constructor");
  sink.clear();
  CZELBuffer<ZEL_BYTE> buffer = make<ZEL_BYTE>({1, 2});
  EXPECT_FALSE(buffer.allocBuffer(0xFFFFFFF0u));
  EXPECT_TRUE(buffer.getBuffer() == nullptr);
  EXPECT_EQ(buffer.getSize(), 0u);
  expectEntries(sink, {MEM_ALLOC}, "allocBuffer");
}

// ---- Storage --------------------------------------------------------------------

TYPED_TEST(BufferOfEachType, ReAllocBufferKeepsTheCommonPrefixAndZeroesTheTail) {
  struct Case {
    Units start;
    ZEL_ULONG ulCount;
    Units expected;
  };
  const std::vector<Case> cases = {
      {{1, 2, 3, 4}, 6, {1, 2, 3, 4, 0, 0}},
      {{1, 2, 3, 4}, 2, {1, 2}},
      {{1, 2, 3, 4}, 4, {1, 2, 3, 4}},
      {{1, 2, 3, 4}, 0, {}},
      {{}, 3, {0, 0, 0}},
      {{}, 0, {}},
  };
  zeltest::RecordingSink sink;
  PoisonFreshArrays poison;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    CZELBuffer<TypeParam> buffer = make<TypeParam>(cases[i].start);
    EXPECT_TRUE(buffer.reAllocBuffer(cases[i].ulCount)) << caseName(i);
    EXPECT_EQ(units(buffer), cases[i].expected) << caseName(i);
    EXPECT_EQ(buffer.getBuffer() == nullptr, cases[i].expected.empty()) << caseName(i);
  }
  EXPECT_EQ(sink.count(), 0u);
}

TEST(BufferStorage, AllocBufferReplacesTheContentsWithZeros) {
  zeltest::RecordingSink sink;
  PoisonFreshArrays poison;
  CZELBuffer<ZEL_USHORT> buffer = make<ZEL_USHORT>({1, 2, 3});
  EXPECT_TRUE(buffer.allocBuffer(5));
  EXPECT_EQ(units(buffer), Units(5, 0));
  EXPECT_TRUE(buffer.allocBuffer(0));
  EXPECT_TRUE(buffer.getBuffer() == nullptr);
  EXPECT_EQ(buffer.getSize(), 0u);
  EXPECT_EQ(sink.count(), 0u);
}

TEST(BufferStorage, FailedAllocationEmptiesTheBufferAndLogsOnce) {
  struct Case {
    bool (*run)(CZELBuffer<ZEL_USHORT> &);
    const char *what;
  };
  const std::vector<Case> cases = {
      {[](CZELBuffer<ZEL_USHORT> &b) { return b.allocBuffer(0x80000000u); }, "allocBuffer"},
      {[](CZELBuffer<ZEL_USHORT> &b) { return b.reAllocBuffer(0xFFFFFFFFu); }, "reAllocBuffer"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    CZELBuffer<ZEL_USHORT> buffer = make<ZEL_USHORT>({1, 2});
    zeltest::RecordingSink sink;
    EXPECT_FALSE(cases[i].run(buffer)) << caseName(i) << " (" << cases[i].what << ")";
    EXPECT_TRUE(buffer.getBuffer() == nullptr) << caseName(i);
    EXPECT_EQ(buffer.getSize(), 0u) << caseName(i);
    expectEntries(sink, {MEM_ALLOC}, caseName(i) + " (" + cases[i].what + ")");
  }
}

TEST(BufferStorage, ZeroBufferClearsStorageAndFailsWhenEmpty) {
  zeltest::RecordingSink sink;
  CZELBuffer<ZEL_USHORT> buffer = make<ZEL_USHORT>({0xFFFF, 2, 3});
  const ZEL_USHORT *pBefore = buffer.getBuffer();
  EXPECT_TRUE(buffer.zeroBuffer());
  EXPECT_EQ(units(buffer), Units(3, 0));
  EXPECT_TRUE(buffer.getBuffer() == pBefore);

  CZELBuffer<ZEL_USHORT> empty;
  EXPECT_FALSE(empty.zeroBuffer());
  EXPECT_EQ(sink.count(), 0u);
}

TEST(BufferStorage, FlushAndDestroyEmptyTheBuffer) {
  zeltest::RecordingSink sink;
  CZELBuffer<ZEL_BYTE> buffer = make<ZEL_BYTE>({1, 2});
  EXPECT_TRUE(buffer.flush());
  EXPECT_TRUE(buffer.getBuffer() == nullptr);
  EXPECT_EQ(buffer.getSize(), 0u);
  EXPECT_TRUE(buffer.destroyBuffer()) << "destroying an empty buffer";
  EXPECT_EQ(buffer.getSize(), 0u);
  EXPECT_EQ(sink.count(), 0u);
}

TYPED_TEST(BufferOfEachType, StorageIsZeroedBeforeRelease) {
  struct Case {
    void (*release)(CZELBuffer<TypeParam> *&);
    const char *what;
  };
  const std::vector<Case> cases = {
      {[](CZELBuffer<TypeParam> *&p) { p->flush(); }, "flush"},
      {[](CZELBuffer<TypeParam> *&p) { p->destroyBuffer(); }, "destroyBuffer"},
      {[](CZELBuffer<TypeParam> *&p) { p->allocBuffer(2); }, "allocBuffer"},
      {[](CZELBuffer<TypeParam> *&p) { p->reAllocBuffer(9); }, "reAllocBuffer"},
      {[](CZELBuffer<TypeParam> *&p) {
         delete p;
         p = nullptr;
       },
       "destructor"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    CZELBuffer<TypeParam> *pBuffer = new CZELBuffer<TypeParam>(5);
    EXPECT_TRUE(pBuffer->fill(static_cast<TypeParam>(0x7F), 0)) << caseName(i);
    watchRelease(*pBuffer);
    cases[i].release(pBuffer);
    EXPECT_EQ(g_watchedReleases, 1) << caseName(i) << " (" << cases[i].what << ")";
    EXPECT_TRUE(g_bWatchedWasZero) << caseName(i) << " (" << cases[i].what << ")";
    g_pWatched = nullptr;
    delete pBuffer;
  }
}

// ---- Access ---------------------------------------------------------------------

TEST(BufferAccess, IndexingReadsAndWritesElements) {
  zeltest::RecordingSink sink;
  CZELBuffer<ZEL_USHORT> buffer = make<ZEL_USHORT>({1, 2, 3});
  buffer[2] = 0xBEEF;
  const CZELBuffer<ZEL_USHORT> &rConst = buffer;
  EXPECT_EQ(static_cast<unsigned>(rConst[2]), 0xBEEFu);
  EXPECT_EQ(static_cast<unsigned>(buffer(2)), 0xBEEFu);
  EXPECT_EQ(static_cast<unsigned>(buffer(0)), 1u);
  EXPECT_TRUE(&buffer[1] == buffer.getBuffer() + 1);
  EXPECT_EQ(sink.count(), 0u);
}

TEST(BufferAccess, IndexNotBelowTheSizeThrows) {
  struct Case {
    Units start;
    ZEL_ULONG ulIndex;
    int accessor; // 0 operator[], 1 const operator[], 2 operator()
  };
  const std::vector<Case> cases = {
      {{1, 2, 3}, 3, 0}, {{1, 2, 3}, 3, 1}, {{1, 2, 3}, 3, 2},
      {{}, 0, 0},        {{}, 0, 2},        {{1, 2, 3}, 0xFFFFFFFFu, 0},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    CZELBuffer<ZEL_BYTE> buffer = make<ZEL_BYTE>(cases[i].start);
    const CZELBuffer<ZEL_BYTE> &rConst = buffer;
    zeltest::RecordingSink sink;
    const ZEL_ULONG ulIndex = cases[i].ulIndex;
    switch (cases[i].accessor) {
    case 0:
      EXPECT_THROW(buffer[ulIndex], CZELIndexOutOfBoundsException) << caseName(i);
      break;
    case 1:
      EXPECT_THROW(rConst[ulIndex], CZELIndexOutOfBoundsException) << caseName(i);
      break;
    default:
      EXPECT_THROW(buffer(ulIndex), CZELIndexOutOfBoundsException) << caseName(i);
      break;
    }
    expectEntries(sink, {INDEX}, caseName(i));
    EXPECT_EQ(units(buffer), cases[i].start) << caseName(i);
  }
}

// ---- Copying and combining --------------------------------------------------------

TEST(BufferCopying, AssignmentCopiesIntoFreshStorage) {
  zeltest::RecordingSink sink;
  CZELBuffer<ZEL_CHAR> source = make<ZEL_CHAR>({'x', 'y'});
  CZELBuffer<ZEL_CHAR> target = make<ZEL_CHAR>({1, 2, 3, 4});
  target = source;
  EXPECT_EQ(units(target), (Units{'x', 'y'}));
  EXPECT_TRUE(target.getBuffer() != source.getBuffer());
  source[0] = 'z';
  EXPECT_EQ(units(target), (Units{'x', 'y'}));

  const CZELBuffer<ZEL_CHAR> empty;
  target = empty;
  EXPECT_TRUE(target.getBuffer() == nullptr);
  EXPECT_EQ(target.getSize(), 0u);
  EXPECT_EQ(sink.count(), 0u);
}

TEST(BufferCopying, SelfAssignmentLeavesTheBufferUnchanged) {
  zeltest::RecordingSink sink;
  CZELBuffer<ZEL_USHORT> buffer = make<ZEL_USHORT>({7, 8, 9});
  const ZEL_USHORT *pBefore = buffer.getBuffer();
  CZELBuffer<ZEL_USHORT> &rSame = buffer;
  buffer = rSame;
  EXPECT_TRUE(buffer.getBuffer() == pBefore);
  EXPECT_EQ(units(buffer), (Units{7, 8, 9}));
  EXPECT_EQ(sink.count(), 0u);
}

TEST(BufferCopying, AppendReplacesFromTheOffset) {
  static constexpr ZEL_ULONG AT_END = 0xFFFFFFFFu; // appendBuffer(other) itself
  struct Case {
    Units start;
    Units other;
    ZEL_ULONG ulOffset;
    bool bOk;
    Units expected;
    std::vector<std::u16string> entries;
  };
  const std::vector<Case> cases = {
      {{1, 2, 3}, {7, 8}, AT_END, true, {1, 2, 3, 7, 8}, {}},
      {{1, 2, 3}, {7, 8}, 3, true, {1, 2, 3, 7, 8}, {}}, // at m_ulSize: the same
      {{1, 2, 3, 4, 5}, {7, 8}, 1, true, {1, 7, 8}, {}}, // the buffer shrinks
      {{1, 2, 3, 4, 5}, {7, 8}, 0, true, {7, 8}, {}},
      {{1, 2, 3, 4, 5}, {7, 8}, 4, true, {1, 2, 3, 4, 7, 8}, {}},
      {{1, 2, 3, 4, 5}, {7, 8}, 6, false, {1, 2, 3, 4, 5}, {APPEND_PAST}},
      {{}, {7, 8}, AT_END, true, {7, 8}, {}},
      {{}, {7, 8}, 0, true, {7, 8}, {}},
      {{1, 2}, {}, AT_END, true, {1, 2}, {}},
      {{}, {}, AT_END, true, {}, {}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case &c = cases[i];
    CZELBuffer<ZEL_USHORT> buffer = make<ZEL_USHORT>(c.start);
    const CZELBuffer<ZEL_USHORT> other = make<ZEL_USHORT>(c.other);
    zeltest::RecordingSink sink;
    const bool bOk =
        c.ulOffset == AT_END ? buffer.appendBuffer(other) : buffer.appendBuffer(other, c.ulOffset);
    EXPECT_EQ(bOk, c.bOk) << caseName(i);
    EXPECT_EQ(units(buffer), c.expected) << caseName(i);
    EXPECT_EQ(units(other), c.other) << caseName(i);
    expectEntries(sink, c.entries, caseName(i));
  }
}

TEST(BufferCopying, PlusEqualsAppendsAndReturnsTheBuffer) {
  zeltest::RecordingSink sink;
  CZELBuffer<ZEL_BYTE> buffer = make<ZEL_BYTE>({1});
  const CZELBuffer<ZEL_BYTE> other = make<ZEL_BYTE>({2, 3});
  CZELBuffer<ZEL_BYTE> &rResult = (buffer += other);
  EXPECT_EQ(&rResult, &buffer);
  EXPECT_EQ(units(buffer), (Units{1, 2, 3}));
  EXPECT_EQ(sink.count(), 0u);
}

TEST(BufferCopying, CombiningWithItselfUsesTheOldContents) {
  struct Case {
    bool (*run)(CZELBuffer<ZEL_USHORT> &);
    Units expected;
  };
  const std::vector<Case> cases = {
      {[](CZELBuffer<ZEL_USHORT> &b) { return b.appendBuffer(b); }, {1, 2, 3, 1, 2, 3}},
      {[](CZELBuffer<ZEL_USHORT> &b) {
         b += b;
         return true;
       },
       {1, 2, 3, 1, 2, 3}},
      {[](CZELBuffer<ZEL_USHORT> &b) { return b.appendBuffer(b, 1); }, {1, 1, 2, 3}},
      {[](CZELBuffer<ZEL_USHORT> &b) { return b.writeBuffer(b, 0, false); }, {1, 2, 3}},
      {[](CZELBuffer<ZEL_USHORT> &b) { return b.writeBuffer(b, 2, true); }, {1, 2, 1, 2, 3}},
  };
  zeltest::RecordingSink sink;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    CZELBuffer<ZEL_USHORT> buffer = make<ZEL_USHORT>({1, 2, 3});
    EXPECT_TRUE(cases[i].run(buffer)) << caseName(i);
    EXPECT_EQ(units(buffer), cases[i].expected) << caseName(i);
  }
  EXPECT_EQ(sink.count(), 0u);
}

TEST(BufferCopying, WriteBufferCopiesInPlaceOrGrows) {
  struct Case {
    Units start;
    Units other;
    ZEL_ULONG ulOffset;
    bool bGrow;
    bool bOk;
    Units expected;
    std::vector<std::u16string> entries;
  };
  const std::vector<Case> cases = {
      {{1, 2, 3, 4}, {}, 0, false, false, {1, 2, 3, 4}, {WRITE_EMPTY}},
      {{1, 2, 3, 4}, {}, 0, true, false, {1, 2, 3, 4}, {WRITE_EMPTY}},
      {{1, 2, 3, 4}, {7, 8}, 3, false, false, {1, 2, 3, 4}, {WRITE_OVERRUN}},
      {{1, 2, 3, 4}, {7, 8}, 3, true, true, {1, 2, 3, 7, 8}, {}},
      {{1, 2, 3, 4}, {7, 8}, 1, false, true, {1, 7, 8, 4}, {}},
      {{1, 2, 3, 4}, {7, 8}, 2, false, true, {1, 2, 7, 8}, {}}, // ends exactly at the end
      {{1, 2, 3, 4}, {7, 8}, 5, true, false, {1, 2, 3, 4}, {APPEND_PAST}},
      {{1, 2, 3, 4}, {7, 8}, 0xFFFFFFFFu, false, false, {1, 2, 3, 4}, {WRITE_OVERRUN}},
      {{}, {7, 8}, 0, false, false, {}, {WRITE_OVERRUN}},
      {{}, {7, 8}, 0, true, true, {7, 8}, {}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case &c = cases[i];
    CZELBuffer<ZEL_BYTE> buffer = make<ZEL_BYTE>(c.start);
    const CZELBuffer<ZEL_BYTE> other = make<ZEL_BYTE>(c.other);
    zeltest::RecordingSink sink;
    EXPECT_EQ(buffer.writeBuffer(other, c.ulOffset, c.bGrow), c.bOk) << caseName(i);
    EXPECT_EQ(units(buffer), c.expected) << caseName(i);
    expectEntries(sink, c.entries, caseName(i));
  }
}

TEST(BufferCopying, FillSetsTheTailFromTheOffset) {
  struct Case {
    Units start;
    ZEL_ULONG ulOffset;
    bool bOk;
    Units expected;
    std::vector<std::u16string> entries;
  };
  const std::vector<Case> cases = {
      {{1, 2, 3, 4, 5}, 2, true, {1, 2, 0xFF, 0xFF, 0xFF}, {}},
      {{1, 2, 3, 4, 5}, 0, true, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {}},
      {{1, 2, 3, 4, 5}, 4, true, {1, 2, 3, 4, 0xFF}, {}},
      {{1, 2, 3, 4, 5}, 5, false, {1, 2, 3, 4, 5}, {FILL_PAST}}, // offset m_ulSize
      {{}, 0, false, {}, {FILL_PAST}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case &c = cases[i];
    CZELBuffer<ZEL_CHAR> buffer = make<ZEL_CHAR>(c.start);
    zeltest::RecordingSink sink;
    EXPECT_EQ(buffer.fill(static_cast<ZEL_CHAR>(0xFF), c.ulOffset), c.bOk) << caseName(i);
    EXPECT_EQ(units(buffer), c.expected) << caseName(i);
    expectEntries(sink, c.entries, caseName(i));
  }
}

// ---- Reinterpreting conversions ---------------------------------------------------

TEST(BufferConversion, EightBitTextBecomesLittleEndianUnits) {
  struct Case {
    std::string text;
    Units expected;
  };
  const std::vector<Case> cases = {
      {"abc", {0x6261, 0x0063}},          {"ab", {0x6261}}, {"a", {0x0061}}, {"", {}},
      {"\xFF\x80\x01", {0x80FF, 0x0001}}, // no sign extension of the bytes
  };
  zeltest::RecordingSink sink;
  PoisonFreshArrays poison; // the odd last byte's high byte must be zeroed
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const CZELBuffer<ZEL_CHAR> text(cases[i].text.data(),
                                    static_cast<ZEL_ULONG>(cases[i].text.size()));
    const CZELBuffer<ZEL_USHORT> converted = text;
    EXPECT_EQ(units(converted), cases[i].expected) << caseName(i);
    EXPECT_EQ(units(text).size(), cases[i].text.size()) << caseName(i) << ": source unchanged";
  }
  EXPECT_EQ(sink.count(), 0u);
}

TEST(BufferConversion, UnitsBecomeBytesLowByteFirst) {
  struct Case {
    Units start;
    Units expected;
  };
  const std::vector<Case> cases = {
      {{0x1234, 0xABCD}, {0x34, 0x12, 0xCD, 0xAB}},
      {{0xFF00}, {0x00, 0xFF}},
      {{}, {}},
  };
  zeltest::RecordingSink sink;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const CZELBuffer<ZEL_USHORT> source = make<ZEL_USHORT>(cases[i].start);
    const CZELBuffer<ZEL_BYTE> bytes = source;
    EXPECT_EQ(units(bytes), cases[i].expected) << caseName(i);
  }
  EXPECT_EQ(sink.count(), 0u);
}

// ---- The virtual slots -------------------------------------------------------------

namespace {

// Counts the slot calls and forwards them to the base.
class CountingBuffer : public CZELBuffer<ZEL_BYTE> {
public:
  explicit CountingBuffer(bool *pDestroyed = nullptr) : m_pDestroyed(pDestroyed) {}
  ~CountingBuffer() override {
    if (m_pDestroyed)
      *m_pDestroyed = true;
    CZELBuffer<ZEL_BYTE>::destroyBuffer();
  }
  bool allocBuffer(ZEL_ULONG ulCount) override {
    ++m_allocs;
    return CZELBuffer<ZEL_BYTE>::allocBuffer(ulCount);
  }
  bool destroyBuffer() override {
    ++m_destroys;
    return CZELBuffer<ZEL_BYTE>::destroyBuffer();
  }
  bool reAllocBuffer(ZEL_ULONG ulCount) override {
    ++m_reallocs;
    return CZELBuffer<ZEL_BYTE>::reAllocBuffer(ulCount);
  }
  void reset() { m_allocs = m_destroys = m_reallocs = 0; }

  int m_allocs = 0;
  int m_destroys = 0;
  int m_reallocs = 0;

private:
  bool *m_pDestroyed;
};

} // namespace

TEST(BufferSlots, EveryStorageChangeGoesThroughTheSlots) {
  struct Case {
    void (*run)(CountingBuffer &, const CZELBuffer<ZEL_BYTE> &);
    int allocs, destroys, reallocs;
    const char *what;
  };
  const std::vector<Case> cases = {
      {[](CountingBuffer &b, const CZELBuffer<ZEL_BYTE> &o) {
         b.CZELBuffer<ZEL_BYTE>::operator=(o);
       },
       1, 1, 0, "operator="},
      {[](CountingBuffer &b, const CZELBuffer<ZEL_BYTE> &o) { b += o; }, 1, 1, 1, "operator+="},
      {[](CountingBuffer &b, const CZELBuffer<ZEL_BYTE> &o) { b.appendBuffer(o); }, 1, 1, 1,
       "appendBuffer"},
      {[](CountingBuffer &b, const CZELBuffer<ZEL_BYTE> &o) { b.appendBuffer(o, 1); }, 1, 1, 1,
       "appendBuffer at 1"},
      {[](CountingBuffer &b, const CZELBuffer<ZEL_BYTE> &o) { b.writeBuffer(o, 2, true); }, 1, 1, 1,
       "writeBuffer growing"},
      {[](CountingBuffer &b, const CZELBuffer<ZEL_BYTE> &) { b.reAllocBuffer(4); }, 1, 1, 1,
       "reAllocBuffer"},
      {[](CountingBuffer &b, const CZELBuffer<ZEL_BYTE> &) { b.flush(); }, 0, 1, 0, "flush"},
  };
  const CZELBuffer<ZEL_BYTE> other = make<ZEL_BYTE>({7, 8});
  for (std::size_t i = 0; i < cases.size(); ++i) {
    CountingBuffer buffer;
    buffer.CZELBuffer<ZEL_BYTE>::operator=(make<ZEL_BYTE>({1, 2}));
    buffer.reset();
    cases[i].run(buffer, other);
    EXPECT_EQ(buffer.m_allocs, cases[i].allocs) << caseName(i) << " (" << cases[i].what << ")";
    EXPECT_EQ(buffer.m_destroys, cases[i].destroys) << caseName(i) << " (" << cases[i].what << ")";
    EXPECT_EQ(buffer.m_reallocs, cases[i].reallocs) << caseName(i) << " (" << cases[i].what << ")";
  }
}

TEST(BufferSlots, DerivedBufferDeletedThroughTheBaseRunsItsDestructor) {
  bool bDestroyed = false;
  CZELBuffer<ZEL_BYTE> *pBuffer = new CountingBuffer(&bDestroyed);
  EXPECT_TRUE(pBuffer->allocBuffer(3));
  delete pBuffer;
  EXPECT_TRUE(bDestroyed);
}
