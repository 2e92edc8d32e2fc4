// test_base64_encoder.cpp - CZELBase64Encoder: the alphabet, the length and
// padding rules, the failures and what they log, refusing every text but the
// encoder's own form without leaving output, and a round trip against
// reference vectors made by an independent encoder.
#include "zel_base64_encoder.h"
#include "zel_test_support.h"

#include <cstdio>
#include <string>
#include <vector>

#ifndef ZEL_BASE64_VECTORS
#error "ZEL_BASE64_VECTORS must name the reference vector file"
#endif

namespace {

const char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

CZELBuffer<ZEL_BYTE> bytesOf(const std::string &text) {
  return CZELBuffer<ZEL_BYTE>(reinterpret_cast<const ZEL_BYTE *>(text.data()),
                              static_cast<ZEL_ULONG>(text.size()));
}

CZELBuffer<ZEL_CHAR> charsOf(const std::string &text) {
  return CZELBuffer<ZEL_CHAR>(text.data(), static_cast<ZEL_ULONG>(text.size()));
}

template <class T> std::string textOf(const CZELBuffer<T> &buffer) {
  if (!buffer.isValid())
    return std::string();
  return std::string(reinterpret_cast<const char *>(buffer.getBuffer()), buffer.getSize());
}

// The messages of the exception entries written, in order (trace lines, if
// dynamic logging happens to be on, are not counted).
std::vector<std::u16string> exceptionMessages(const zeltest::RecordingSink &sink) {
  std::vector<std::u16string> messages;
  for (const zeltest::LoggedEntry &entry : sink.entries()) {
    if (entry.type == static_cast<ZEL_ULONG>(CZELLogType::EXCEPTION_BAD)) {
      EXPECT_EQ(entry.sourceFile, u".\\zel_base64encoder");
      messages.push_back(entry.message);
    }
  }
  return messages;
}

std::string hexToBytes(const std::string &hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

// A host path is also reachable from a Windows program as Z:<path>.
std::FILE *openVectors() {
  const std::string path = ZEL_BASE64_VECTORS;
  std::FILE *pFile = std::fopen(path.c_str(), "rb");
  if (!pFile && !path.empty() && path[0] == '/')
    pFile = std::fopen(("Z:" + path).c_str(), "rb");
  return pFile;
}

struct Vector {
  std::string bytes;
  std::string encoded;
};

std::vector<Vector> readVectors() {
  std::vector<Vector> vectors;
  std::FILE *pFile = openVectors();
  if (!pFile) {
    ADD_FAILURE() << "cannot open the reference vectors " << ZEL_BASE64_VECTORS;
    return vectors;
  }
  std::string line;
  int c;
  while ((c = std::fgetc(pFile)) != EOF) {
    if (c == '\r')
      continue;
    if (c != '\n') {
      line.push_back(static_cast<char>(c));
      continue;
    }
    const std::size_t space = line.find(' ');
    if (space == std::string::npos) {
      ADD_FAILURE() << "malformed vector line: " << line;
      break;
    }
    vectors.push_back({hexToBytes(line.substr(0, space)), line.substr(space + 1)});
    line.clear();
  }
  std::fclose(pFile);
  return vectors;
}

} // namespace

// ---- Helper ------------------------------------------------------------------------

TEST(Base64Helper, AlphabetMapsBothWays) {
  zeltest::RecordingSink sink;
  const CZELBase64EncoderHelper helper;
  for (ZEL_BYTE b = 0; b < 64; ++b) {
    EXPECT_EQ(helper._encode(b), ALPHABET[b]) << int(b);
    EXPECT_EQ(helper._decode(ALPHABET[b]), b) << int(b);
  }
  // Outside the alphabet is 0, and only the top bit counts as an error.
  for (char c : std::string("=*-_ \n\x7f", 8))
    EXPECT_EQ(helper._decode(c), 0) << int(c);
  EXPECT_TRUE(exceptionMessages(sink).empty());
}

TEST(Base64Helper, TopBitAndOutOfRangeAreLoggedAndGiveZero) {
  zeltest::RecordingSink sink;
  const CZELBase64EncoderHelper helper;
  EXPECT_EQ(helper._decode(static_cast<ZEL_CHAR>(0xC1)), 0);
  EXPECT_EQ(helper._encode(0x80), 0);
  EXPECT_EQ(helper._encode(64), 0);
  const std::vector<std::u16string> expected = {
      u"A bad argument was provided ( ZEL_CHAR cChar ). Parameter is NULL",
      u"A bad argument was provided ( ZEL_BYTE bValue ). Parameter is NULL",
      u"A bad argument was provided ( ZEL_BYTE bValue ). Parameter is NULL"};
  EXPECT_EQ(exceptionMessages(sink), expected);
}

TEST(Base64Helper, StrlenStopsAtZeroPadOrBufferEnd) {
  const CZELBase64EncoderHelper helper;
  EXPECT_EQ(helper.b64strlen(charsOf("YWI=")), 3u);
  EXPECT_EQ(helper.b64strlen(charsOf(std::string("YW\0jZ", 5))), 2u);
  EXPECT_EQ(helper.b64strlen(charsOf("YWJj")), 4u); // no terminator: the whole buffer
  EXPECT_EQ(helper.b64strlen(charsOf("=abc")), 0u);
  EXPECT_EQ(helper.b64strlen(CZELBuffer<ZEL_CHAR>()), 0u);
}

// ---- Encoding ----------------------------------------------------------------------

TEST(Base64Encode, PadsTheLastGroup) {
  zeltest::RecordingSink sink;
  CZELBase64Encoder encoder;
  EXPECT_TRUE(encoder.initialize());
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"abc", "YWJj"},
      {"ab", "YWI="},
      {"a", "YQ=="},
      {"abcd", "YWJjZA=="},
      {std::string("\0\0\0", 3), "AAAA"},
      {"\xff\xfe", "//4="}};
  for (const auto &c : cases) {
    CZELBuffer<ZEL_CHAR> encoded;
    ASSERT_TRUE(encoder.encode(bytesOf(c.first), encoded)) << c.second;
    EXPECT_EQ(textOf(encoded), c.second); // exactly the characters, no terminator
  }
  EXPECT_TRUE(encoder.finalize());
  EXPECT_TRUE(exceptionMessages(sink).empty());
}

TEST(Base64Encode, EmptyInputFailsAndEmptiesTheOutput) {
  zeltest::RecordingSink sink;
  CZELBase64Encoder encoder;
  CZELBuffer<ZEL_CHAR> encoded = charsOf("stale");
  EXPECT_FALSE(encoder.encode(CZELBuffer<ZEL_BYTE>(), encoded));
  EXPECT_FALSE(encoded.isValid());
  const std::vector<std::u16string> expected = {
      u"A bad argument was provided ( CZELBuffer < ZEL_BYTE > &Data ). Parameter is 0"};
  EXPECT_EQ(exceptionMessages(sink), expected);
}

// ---- Decoding ----------------------------------------------------------------------

TEST(Base64Decode, NeedsAPadOrATerminatingZero) {
  zeltest::RecordingSink sink;
  CZELBase64Encoder encoder;
  CZELBuffer<ZEL_BYTE> data;
  ASSERT_TRUE(encoder.decode(bytesOf("YWI="), data));
  EXPECT_EQ(textOf(data), "ab");
  ASSERT_TRUE(encoder.decode(bytesOf("YQ=="), data));
  EXPECT_EQ(textOf(data), "a");
  ASSERT_TRUE(encoder.decode(bytesOf(std::string("YWJj\0", 5)), data));
  EXPECT_EQ(textOf(data), "abc");
  EXPECT_TRUE(exceptionMessages(sink).empty());

  EXPECT_FALSE(encoder.decode(bytesOf("YWJj"), data));
  EXPECT_FALSE(data.isValid());
  const std::vector<std::u16string> expected = {
      u"Variable encodedData value of encodedData[4] = 106 is buffer does not end in NULL(0) "
      u"or \"=\"(61)"};
  EXPECT_EQ(exceptionMessages(sink), expected);
}

TEST(Base64Decode, TooShortOrEmptyInputFails) {
  struct Case {
    std::string input;
    std::u16string message;
  };
  const std::vector<Case> cases = {
      {"Y=", u"Variable iTemp value of 1 is less than uEncodedIndex + 3 (3)"},
      {std::string("Y\0", 2), u"Variable iTemp value of 1 is less than uEncodedIndex + 3 (3)"},
      {"====", u"Variable iTemp value of 0 is less than uEncodedIndex + 3 (3)"},
      {std::string("\0", 1), u"Variable iTemp value of 0 is less than uEncodedIndex + 3 (3)"},
      {"", u"Variable encodedData value of 0 is less than 1"},
      // A lone last character is no whole byte: refused, not made up.
      {std::string("YWJjZ\0", 6), u"Variable iTemp value of 5 is not a whole number of bytes"},
      {std::string("YWJjYWJjZ=", 10), u"Variable iTemp value of 9 is not a whole number of bytes"},
  };
  CZELBase64Encoder encoder;
  for (const Case &c : cases) {
    zeltest::RecordingSink sink;
    CZELBuffer<ZEL_BYTE> data = bytesOf("stale");
    EXPECT_FALSE(encoder.decode(bytesOf(c.input), data)) << c.input;
    EXPECT_FALSE(data.isValid()) << c.input;
    EXPECT_EQ(exceptionMessages(sink), std::vector<std::u16string>{c.message}) << c.input;
  }
}

// Only the encoder's own form decodes: whatever else only looks like Base64
// (other alphabets, white space, text after the padding or the terminator,
// a last character with bits no byte holds) is refused whole, with one
// entry naming the first fault, and leaves no output.
TEST(Base64Decode, AcceptsOnlyTheEncodersForm) {
  struct Case {
    std::string input;
    std::string bytes;      // what it decodes to, when accepted
    std::u16string refusal; // the entry's message, when refused
  };
  const std::u16string at = u"Variable szEncoded value of szEncoded[";
  const std::u16string pads = u"Variable szEncoded value of ";
  const std::vector<Case> cases = {
      {std::string("YWJj\0", 5), "abc", u""},
      {"YWI=", "ab", u""},
      {std::string("YQ==\0", 5), "a", u""},
      {std::string("YWJj\0\0\0", 7), "abc", u""}, // the zeroed rest of a fixed-size buffer
      {std::string("+/+/AAAA\0", 9), std::string("\xfb\xff\xbf\0\0\0", 6), u""},
      // Characters outside the alphabet, white space included.
      {std::string("YWJj\nYWJj\0", 10), "", at + u"4] = 10 is not a Base64 character"},
      {std::string("YWJj\r\n\0", 7), "", at + u"4] = 13 is not a Base64 character"},
      {std::string("YW Jj\0", 6), "", at + u"2] = 32 is not a Base64 character"},
      {std::string("YWJ-\0", 5), "", at + u"3] = 45 is not a Base64 character"},
      {std::string("YWJ_\0", 5), "", at + u"3] = 95 is not a Base64 character"},
      {std::string("Y*Jj\0", 5), "", at + u"1] = 42 is not a Base64 character"},
      {"YWJj\xe9WI=", "", at + u"4] = 233 is not a Base64 character"},
      // Padding: only at the end, exactly filling the last group.
      {"YQ==YWJj=", "", at + u"4] = 89 is text after the padding"},
      {"YQ=jYWJj=", "", at + u"3] = 106 is text after the padding"},
      {"YQ=", "", pads + u"1 \"=\" after 2 characters is not padding to a whole group of 4"},
      {"YQ===", "", pads + u"3 \"=\" after 2 characters is not padding to a whole group of 4"},
      {"YWJj=", "", pads + u"1 \"=\" after 4 characters is not padding to a whole group of 4"},
      {std::string("YWI\0", 4), "",
       pads + u"0 \"=\" after 3 characters is not padding to a whole group of 4"},
      {std::string("YQ==\0YWJj\0", 10), "", at + u"5] = 89 is text after the terminating zero"},
      // Set bits past the last byte: "YR==" would be another spelling of "YQ==".
      {"YR==", "", at + u"1] = 82 is carrying bits past the last byte"},
      {"YWJ=", "", at + u"2] = 74 is carrying bits past the last byte"},
  };
  CZELBase64Encoder encoder;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case &c = cases[i];
    SCOPED_TRACE(std::to_string(i));
    zeltest::RecordingSink sink;
    CZELBuffer<ZEL_BYTE> data = bytesOf("stale");
    EXPECT_EQ(encoder.decode(bytesOf(c.input), data), c.refusal.empty());
    if (c.refusal.empty()) {
      EXPECT_EQ(textOf(data), c.bytes);
      EXPECT_TRUE(exceptionMessages(sink).empty());
      // Accepted text is what the encoder makes of its bytes.
      CZELBuffer<ZEL_CHAR> encoded;
      ASSERT_TRUE(encoder.encode(data, encoded));
      EXPECT_EQ(textOf(encoded), c.input.substr(0, c.input.find('\0')));
    } else {
      EXPECT_FALSE(data.isValid());
      EXPECT_EQ(exceptionMessages(sink), std::vector<std::u16string>{c.refusal});
    }
  }
}

// ---- Against the reference -----------------------------------------------------------

TEST(Base64RoundTrip, EveryLengthMatchesTheReferenceEncoder) {
  const std::vector<Vector> vectors = readVectors();
  ASSERT_EQ(vectors.size(), 1024u);
  zeltest::RecordingSink sink;
  CZELBase64Encoder encoder;
  for (std::size_t i = 0; i < vectors.size(); ++i) {
    const Vector &v = vectors[i];
    ASSERT_EQ(v.bytes.size(), i + 1);
    CZELBuffer<ZEL_CHAR> encoded;
    ASSERT_TRUE(encoder.encode(bytesOf(v.bytes), encoded)) << "length " << i + 1;
    ASSERT_EQ(textOf(encoded), v.encoded) << "length " << i + 1;

    // Unpadded text is accepted only with a terminating zero byte.
    const std::string input =
        v.encoded.back() == '=' ? v.encoded : v.encoded + std::string(1, '\0');
    CZELBuffer<ZEL_BYTE> decoded;
    ASSERT_TRUE(encoder.decode(bytesOf(input), decoded)) << "length " << i + 1;
    ASSERT_EQ(textOf(decoded), v.bytes) << "length " << i + 1;
  }
  EXPECT_TRUE(exceptionMessages(sink).empty());
}
