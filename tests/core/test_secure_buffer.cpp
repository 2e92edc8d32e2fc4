// test_secure_buffer.cpp - CZELSecureBuffer: sizes in 16-byte steps, content
// that reaches the pages only enciphered, pages zeroed before release, and
// the failures it refuses or reports.
#include "zel_exceptions.h"
#include "zel_rng.h"
#include "zel_secure_buffer.h"
#include "zel_test_support.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace {

CZELBuffer<ZEL_USHORT> units(const std::u16string &text) {
  return CZELBuffer<ZEL_USHORT>(text.data(), static_cast<ZEL_ULONG>(text.size()));
}

std::u16string textOf(const CZELBuffer<ZEL_USHORT> &buffer) {
  return std::u16string(buffer.getBuffer(), buffer.getBuffer() + buffer.getSize());
}

std::u16string contentOf(const CZELSecureBuffer &buffer) {
  CZELBuffer<ZEL_USHORT> out;
  EXPECT_TRUE(buffer.readBuffer(out));
  return textOf(out);
}

// The storage's bytes exactly as they lie in the pages.
std::vector<unsigned char> rawBytes(const CZELSecureBuffer &buffer) {
  const auto *pBytes = reinterpret_cast<const unsigned char *>(buffer.getBuffer());
  return std::vector<unsigned char>(pBytes, pBytes + buffer.getSize() * sizeof(ZEL_USHORT));
}

// Whether any 4 consecutive units of text lie in the storage as plain bytes.
bool holdsPlainPiece(const CZELSecureBuffer &buffer, const std::u16string &text) {
  const std::vector<unsigned char> raw = rawBytes(buffer);
  for (std::size_t at = 0; at + 4 <= text.size(); ++at) {
    const auto *pPiece = reinterpret_cast<const unsigned char *>(text.data() + at);
    if (std::search(raw.begin(), raw.end(), pPiece, pPiece + 4 * sizeof(char16_t)) != raw.end())
      return true;
  }
  return false;
}

// Looks at the pages on their way back to the system.
class WatchedSecureBuffer : public CZELSecureBuffer {
public:
  using CZELSecureBuffer::CZELSecureBuffer;
  ~WatchedSecureBuffer() override { destroyBuffer(); }

  int releases = 0;
  bool releasedZero = false;

protected:
  void releasePages(void *pPages, std::size_t cbBytes) override {
    const auto *pBytes = static_cast<const unsigned char *>(pPages);
    releasedZero = cbBytes != 0 &&
                   std::all_of(pBytes, pBytes + cbBytes, [](unsigned char b) { return b == 0; });
    ++releases;
    CZELSecureBuffer::releasePages(pPages, cbBytes);
  }
};

const std::u16string SECRET = u"correct horse battery staple 0123456789";

} // namespace

TEST(SecureBuffer, SizesAreRoundedTo16Bytes) {
  struct Case {
    ZEL_ULONG requested;
    ZEL_ULONG held;
  };
  const Case cases[] = {{0, 0}, {1, 8}, {5, 8}, {8, 8}, {9, 16}, {16, 16}, {17, 24}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    CZELSecureBuffer buffer(cases[i].requested);
    EXPECT_EQ(buffer.getSize(), cases[i].held);
    EXPECT_EQ(buffer.isValid(), cases[i].held != 0);
    EXPECT_EQ(buffer.getContentLength(), cases[i].held);
    // A fresh buffer reads as zeros.
    EXPECT_EQ(contentOf(buffer), std::u16string(cases[i].held, u'\0'));
    // Never resized in place, and never to nothing by allocBuffer(0).
    EXPECT_FALSE(buffer.reAllocBuffer(cases[i].held + 32));
    EXPECT_FALSE(buffer.reAllocBuffer(0));
    EXPECT_EQ(buffer.getSize(), cases[i].held);
  }
  CZELSecureBuffer buffer(3);
  EXPECT_FALSE(buffer.allocBuffer(0));
  EXPECT_EQ(buffer.getBuffer(), nullptr);
}

TEST(SecureBuffer, ContentRoundTripsButNeverLiesPlainInThePages) {
  CZELSecureBuffer buffer;
  ASSERT_TRUE(buffer.writeBuffer(units(SECRET)));
  EXPECT_EQ(buffer.getContentLength(), SECRET.size());
  // Nonce and tag come on top of the content, in 16-byte steps.
  EXPECT_GE(buffer.getSize() * 2u, SECRET.size() * 2 + 28);
  EXPECT_EQ(buffer.getSize() % 8, 0u);
  EXPECT_EQ(contentOf(buffer), SECRET);
  EXPECT_FALSE(holdsPlainPiece(buffer, SECRET));

  // Appending, then overwriting in place and past the end.
  ASSERT_TRUE(buffer.writeBuffer(units(u" and more")));
  EXPECT_EQ(contentOf(buffer), SECRET + u" and more");
  ASSERT_TRUE(buffer.writeBuffer(units(u"CORRECT"), 0));
  ASSERT_TRUE(buffer.writeBuffer(units(u"MORE!!"), static_cast<ZEL_ULONG>(SECRET.size()) + 5));
  const std::u16string expected = u"CORRECT" + SECRET.substr(7) + u" and MORE!!";
  EXPECT_EQ(contentOf(buffer), expected);
  EXPECT_FALSE(holdsPlainPiece(buffer, expected));

  // Into a sized buffer: its zero content comes first, as writing joins.
  CZELSecureBuffer sized(4);
  ASSERT_TRUE(sized.writeBuffer(units(SECRET), 0));
  EXPECT_EQ(contentOf(sized), SECRET);
  EXPECT_FALSE(holdsPlainPiece(sized, SECRET));
}

TEST(SecureBuffer, RefusedWritesAndChangedStorageLeaveNoFalseContent) {
  zeltest::RecordingSink sink;
  CZELSecureBuffer buffer;
  ASSERT_TRUE(buffer.writeBuffer(units(u"abcdef")));

  EXPECT_FALSE(buffer.writeBuffer(CZELBuffer<ZEL_USHORT>()));
  EXPECT_EQ(sink.countMessage(u"A bad argument was provided ( buffer ). buffer is of zero size - "
                              u"can't write"),
            1u);
  EXPECT_FALSE(buffer.writeBuffer(units(u"x"), 7));
  EXPECT_EQ(contentOf(buffer), u"abcdef");

  // A changed byte of the enciphered content is found, not read as content.
  reinterpret_cast<unsigned char *>(buffer.getBuffer())[14] ^= 0x01;
  CZELBuffer<ZEL_USHORT> out = units(u"untouched");
  EXPECT_FALSE(buffer.readBuffer(out));
  EXPECT_EQ(textOf(out), u"untouched");
  EXPECT_FALSE(buffer.writeBuffer(units(u"more")));
}

TEST(SecureBuffer, PagesAreZeroedBeforeRelease) {
  WatchedSecureBuffer buffer(9);
  ASSERT_TRUE(buffer.writeBuffer(units(SECRET), 0));
  // Growing past the storage releases the old pages too.
  const int releasesBefore = buffer.releases;
  EXPECT_GE(releasesBefore, 1);
  EXPECT_TRUE(buffer.releasedZero);
  buffer.releasedZero = false;
  EXPECT_TRUE(buffer.destroyBuffer());
  EXPECT_EQ(buffer.releases, releasesBefore + 1);
  EXPECT_TRUE(buffer.releasedZero);
  EXPECT_EQ(buffer.getBuffer(), nullptr);
  EXPECT_EQ(buffer.getSize(), 0u);
  EXPECT_EQ(buffer.getContentLength(), 0u);
  EXPECT_EQ(buffer.getEncipheredLength(), 0u);
}

TEST(SecureBuffer, ConstructionThatCannotAllocateThrowsAndLogs) {
  zeltest::RecordingSink sink;
  // 2 x count bytes do not fit a 32-bit size.
  EXPECT_THROW(CZELSecureBuffer buffer(0xFFFFFFFFu), CZELSecureBufferInitException);
  EXPECT_EQ(sink.countMessage(u"Unable to allocate memory ( this->m_pBuffer )"), 1u);
  EXPECT_EQ(sink.countMessage(u"CZELSecureBuffer object failed to initialize"), 1u);
}

TEST(SecureBuffer, TakesRandomBytesAsEncipheredContent) {
  zeltest::RecordingSink sink;
  CZELSwRNG rng;
  CZELSecureBuffer empty;
  EXPECT_FALSE(rng.getRandomBytes(empty));
  EXPECT_EQ(sink.countMessage(u"A bad argument was provided ( random ). Target buffer must be of "
                              u"size of requested bytes"),
            1u);

  // The size (32) is the number of bytes wanted: 16 units of them, the
  // rest of the content staying zero.
  CZELSecureBuffer buffer(32);
  ASSERT_TRUE(rng.getRandomBytes(buffer));
  const std::u16string content = contentOf(buffer);
  ASSERT_EQ(content.size(), 32u);
  EXPECT_NE(content.substr(0, 16), std::u16string(16, u'\0'));
  EXPECT_EQ(content.substr(16), std::u16string(16, u'\0'));
  EXPECT_FALSE(holdsPlainPiece(buffer, content.substr(0, 16)));
}
