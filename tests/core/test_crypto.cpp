// test_crypto.cpp - random bytes (CZELSwRNG), CZELSymKey and the keyed
// obscuring of CZELWCharString.
#include "zel_exceptions.h"
#include "zel_rng.h"
#include "zel_secure_buffer.h"
#include "zel_sym_key.h"
#include "zel_test_support.h"
#include "zel_wchar_string.h"
#include "zelsys/crypto.h"
#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = CZELBuffer<ZEL_BYTE>;

std::vector<ZEL_BYTE> bytesOf(const Bytes &buf) {
  return std::vector<ZEL_BYTE>(buf.getBuffer(), buf.getBuffer() + buf.getSize());
}

Bytes bufferOf(const std::vector<ZEL_BYTE> &bytes) {
  return Bytes(bytes.data(), static_cast<ZEL_ULONG>(bytes.size()));
}

bool anyEntryContains(const zeltest::RecordingSink &sink, const std::u16string &text) {
  for (const zeltest::LoggedEntry &entry : sink.entries())
    if (entry.message.find(text) != std::u16string::npos)
      return true;
  return false;
}

// Makes the provider fail for the lifetime of the object.
struct BrokenProvider {
  BrokenProvider() { zelsys::failCryptoProviderForTesting(true); }
  ~BrokenProvider() { zelsys::failCryptoProviderForTesting(false); }
};

} // namespace

TEST(Random, EmptyTargetFailsWithItsEntry) {
  zeltest::RecordingSink sink;
  Bytes empty;
  CZELSwRNG rng;
  EXPECT_FALSE(rng.getRandomBytes(empty));
  EXPECT_EQ(empty.getSize(), 0u);
  EXPECT_TRUE(anyEntryContains(sink, u"Target buffer must be of size of requested bytes"));
}

TEST(Random, FillsTheWholeTargetWithFreshBytes) {
  CZELSwRNG rng;
  Bytes first(32);
  Bytes second(32);
  ASSERT_TRUE(rng.getRandomBytes(first));
  ASSERT_TRUE(rng.getRandomBytes(second));
  ASSERT_EQ(first.getSize(), 32u);
  ASSERT_EQ(second.getSize(), 32u);
  // 32 random bytes repeat, or come out all zero, with negligible odds.
  EXPECT_NE(bytesOf(first), bytesOf(second));
  EXPECT_NE(bytesOf(first), std::vector<ZEL_BYTE>(32, 0));
}

// Without the provider nothing claims random bytes: no weaker source stands
// in, so no key, nonce or secure buffer is made from guessable bytes, and
// what the caller held stays as it was.
TEST(Random, WithoutTheProviderNothingIsMadeOfGuessableBytes) {
  const std::vector<ZEL_BYTE> sentinel(32, 0xA5);
  const CZELSymKey keyBefore;
  CZELSecureBuffer secureBefore(16);
  ASSERT_TRUE(secureBefore.writeBuffer(CZELBuffer<ZEL_USHORT>(u"kept", 4), 0));
  struct Case {
    const char *name;
    std::function<bool()> claimsRandom; // true when the operation reports success
  };
  const std::vector<Case> cases = {
      {"byte buffer",
       [&] {
         Bytes target = bufferOf(sentinel);
         CZELSwRNG rng;
         const bool bClaimed = rng.getRandomBytes(target);
         EXPECT_EQ(bytesOf(target), sentinel);
         return bClaimed;
       }},
      {"secure buffer",
       [&] {
         CZELSwRNG rng;
         const bool bClaimed = rng.getRandomBytes(secureBefore);
         CZELBuffer<ZEL_USHORT> content;
         EXPECT_TRUE(secureBefore.readBuffer(content));
         EXPECT_EQ(std::u16string(content.getBuffer(), content.getBuffer() + 4), u"kept");
         return bClaimed;
       }},
      {"new key", [] { return CZELSymKey().isValid(); }},
      {"nonce",
       [&] {
         Bytes cipher = bufferOf(sentinel);
         const bool bClaimed = keyBefore.encrypt(bufferOf({1, 2, 3}), cipher);
         EXPECT_EQ(bytesOf(cipher), sentinel);
         return bClaimed;
       }},
      {"new secure buffer",
       [] {
         try {
           CZELSecureBuffer buffer(8);
           return true;
         } catch (const CZELSecureBufferInitException &) {
           return false;
         }
       }},
  };
  BrokenProvider broken;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(std::to_string(i) + " " + cases[i].name);
    zeltest::RecordingSink sink;
    EXPECT_FALSE(cases[i].claimsRandom());
    EXPECT_TRUE(anyEntryContains(sink, u"Error during MS CAPI RNG function call"));
  }
}

TEST(SymKey, DecipheringSucceedsOnlyForTheUntouchedTextAndItsKey) {
  const std::vector<ZEL_BYTE> plain = {'s', 'e', 'c', 'r', 'e', 't', 0, 0xFF, 0x80};
  const CZELSymKey key;
  ASSERT_TRUE(key.isValid());
  Bytes cipher;
  ASSERT_TRUE(key.encrypt(bufferOf(plain), cipher));
  ASSERT_EQ(cipher.getSize(), CZELSymKey::NONCE_SIZE + plain.size() + CZELSymKey::TAG_SIZE);
  const std::vector<ZEL_BYTE> sealed = bytesOf(cipher);

  // The same plain text enciphers differently each time (fresh nonce).
  Bytes again;
  ASSERT_TRUE(key.encrypt(bufferOf(plain), again));
  EXPECT_NE(bytesOf(again), sealed);

  const CZELSymKey otherKey;
  const CZELSymKey copiedKey(key);
  struct Case {
    const char *name;
    const CZELSymKey *key;
    std::function<void(std::vector<ZEL_BYTE> &)> change;
    bool ok;
  };
  const std::vector<Case> cases = {
      {"untouched", &key, [](std::vector<ZEL_BYTE> &) {}, true},
      {"copied key", &copiedKey, [](std::vector<ZEL_BYTE> &) {}, true},
      {"other key", &otherKey, [](std::vector<ZEL_BYTE> &) {}, false},
      {"nonce changed", &key, [](std::vector<ZEL_BYTE> &b) { b[0] ^= 1; }, false},
      {"text changed", &key, [](std::vector<ZEL_BYTE> &b) { b[CZELSymKey::NONCE_SIZE] ^= 0x80; },
       false},
      {"tag changed", &key, [](std::vector<ZEL_BYTE> &b) { b.back() ^= 1; }, false},
      {"byte appended", &key, [](std::vector<ZEL_BYTE> &b) { b.push_back(0); }, false},
      {"last byte cut", &key, [](std::vector<ZEL_BYTE> &b) { b.pop_back(); }, false},
      {"only nonce and tag", &key,
       [](std::vector<ZEL_BYTE> &b) { b.resize(CZELSymKey::NONCE_SIZE + CZELSymKey::TAG_SIZE); },
       false},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(std::to_string(i) + " " + cases[i].name);
    std::vector<ZEL_BYTE> input = sealed;
    cases[i].change(input);
    const std::vector<ZEL_BYTE> sentinel = {0xDE, 0xAD};
    Bytes out = bufferOf(sentinel);
    EXPECT_EQ(cases[i].key->decrypt(bufferOf(input), out), cases[i].ok);
    EXPECT_EQ(bytesOf(out), cases[i].ok ? plain : sentinel);
  }
}

namespace {

std::vector<ZEL_BYTE> fromHex(const std::string &hex) {
  std::vector<ZEL_BYTE> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<ZEL_BYTE>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::vector<ZEL_BYTE> pattern(std::size_t size, int step, int start = 0) {
  std::vector<ZEL_BYTE> bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<ZEL_BYTE>(start + step * int(i));
  return bytes;
}

// Sealed: cipher text and tag, or empty when sealing failed.
std::vector<ZEL_BYTE> seal(const std::vector<ZEL_BYTE> &key, const std::vector<ZEL_BYTE> &nonce,
                           const std::vector<ZEL_BYTE> &plain) {
  std::vector<ZEL_BYTE> out(plain.size() + zelsys::AEAD_TAG_SIZE);
  if (!zelsys::aeadSeal(key.data(), nonce.data(), plain.data(), zelsys::DWORD(plain.size()),
                        out.data(), out.data() + plain.size()))
    out.clear();
  return out;
}

} // namespace

// The same vectors (the first two are GCM's published test cases 13
// and 14, the third computed by another implementation) on every cipher the
// platform has: on Windows that of CNG and the one made for Windows XP from
// the provider's AES, each opening what the other sealed.
TEST(Aead, KnownAnswersOnEveryCipher) {
  struct Vector {
    std::vector<ZEL_BYTE> key, nonce, plain;
    std::string sealed;
  };
  const std::vector<Vector> vectors = {
      {pattern(32, 0), pattern(12, 0), {}, "530f8afbc74536b9a963b4f1c4cb738b"},
      {pattern(32, 0), pattern(12, 0), pattern(16, 0),
       "cea7403d4d606b6e074ec5d3baf39d18d0d1c8a799996bf0265b98b5d48ab919"},
      {pattern(32, 1), pattern(12, 1, 100), pattern(37, 7),
       "481cd07365ca7caf065d19a58e3e089432b5788f07ff69d30f7e1af53f687791740eae35b0c04d8b56b91026dc5"
       "9085d37b2b54389"},
  };
  for (const bool bXpCipher : {false, true}) {
    for (std::size_t i = 0; i < vectors.size(); ++i) {
      SCOPED_TRACE(std::string(bXpCipher ? "XP cipher, " : "system cipher, ") + "vector " +
                   std::to_string(i));
      const Vector &v = vectors[i];
      zelsys::useXpCipherForTesting(bXpCipher);
      const std::vector<ZEL_BYTE> sealed = seal(v.key, v.nonce, v.plain);
      EXPECT_EQ(sealed, fromHex(v.sealed));
      // Opened by the other cipher; a changed tag leaves nothing behind.
      zelsys::useXpCipherForTesting(!bXpCipher);
      std::vector<ZEL_BYTE> tag = fromHex(v.sealed.substr(v.sealed.size() - 32));
      std::vector<ZEL_BYTE> plain(v.plain.size() + 1, 0xAA);
      EXPECT_TRUE(zelsys::aeadOpen(v.key.data(), v.nonce.data(), sealed.data(),
                                   zelsys::DWORD(v.plain.size()), tag.data(), plain.data()));
      EXPECT_EQ(std::vector<ZEL_BYTE>(plain.begin(), plain.end() - 1), v.plain);
      tag[15] ^= 1;
      zelsys::SetLastError(0xdeadbeef);
      EXPECT_FALSE(zelsys::aeadOpen(v.key.data(), v.nonce.data(), sealed.data(),
                                    zelsys::DWORD(v.plain.size()), tag.data(), plain.data()));
      EXPECT_EQ(zelsys::GetLastError(), zelsys::DWORD(zelsys::ERROR_INVALID_DATA));
      std::vector<ZEL_BYTE> zeroed(v.plain.size(), 0);
      zeroed.push_back(0xAA); // nothing written past the text
      EXPECT_EQ(plain, zeroed);
    }
  }
  zelsys::useXpCipherForTesting(false);
}

TEST(SymKey, RefusesAKeyOfTheWrongSizeAndEmptyInput) {
  zeltest::RecordingSink sink;
  const CZELSymKey shortKey(Bytes(31));
  EXPECT_FALSE(shortKey.isValid());
  Bytes cipher;
  EXPECT_FALSE(shortKey.encrypt(bufferOf({1, 2, 3}), cipher));
  EXPECT_EQ(cipher.getSize(), 0u);

  const CZELSymKey key(bufferOf(std::vector<ZEL_BYTE>(32, 7)));
  ASSERT_TRUE(key.isValid());
  EXPECT_FALSE(key.encrypt(Bytes(), cipher));
  EXPECT_EQ(cipher.getSize(), 0u);
  EXPECT_GE(sink.count(), 2u);
}

TEST(Obscure, RoundTripsAndRefusesAnythingElse) {
  const CZELSymKey key;
  const CZELSymKey otherKey;
  const std::vector<std::u16string> texts = {u"x", u"password 123",
                                             u"Gr\u00FC\u00DFe \u20AC \U0001F511"};
  for (std::size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(std::to_string(i) + " " + zeltest::narrow(texts[i]));
    const CZELWCharString plain(texts[i].c_str());
    const CZELWCharString obscured = plain.obscure(key);
    ASSERT_GT(obscured.getLength(), 0u);
    EXPECT_TRUE(obscured != plain);
    EXPECT_TRUE(obscured.unobscure(key) == plain);

    zeltest::RecordingSink sink;
    EXPECT_EQ(obscured.unobscure(otherKey).getLength(), 0u);
    EXPECT_TRUE(anyEntryContains(sink, u"not a valid sym key"));

    // A changed character (one that stays in the Base64 alphabet), and one
    // outside ASCII that a careless narrowing would turn back into it.
    std::u16string changed(obscured.getBuffer(), obscured.getLength());
    changed[changed.size() / 2] = changed[changed.size() / 2] == u'A' ? u'B' : u'A';
    EXPECT_EQ(CZELWCharString(changed.c_str()).unobscure(key).getLength(), 0u);
    std::u16string wide(obscured.getBuffer(), obscured.getLength());
    wide[0] = static_cast<char16_t>(wide[0] + 0x100);
    EXPECT_EQ(CZELWCharString(wide.c_str()).unobscure(key).getLength(), 0u);
  }
}

TEST(Obscure, EmptyStringFailsWithItsText) {
  const CZELSymKey key;
  const CZELWCharString empty;
  zeltest::RecordingSink sink;
  EXPECT_EQ(empty.obscure(key).getLength(), 0u);
  EXPECT_TRUE(anyEntryContains(sink, u"Can't obscure empty string"));
  EXPECT_EQ(empty.unobscure(key).getLength(), 0u);
  EXPECT_TRUE(anyEntryContains(sink, u"Can't unobscure empty string"));

  const CZELSymKey invalidKey(Bytes(5));
  EXPECT_EQ(CZELWCharString(u"abc").obscure(invalidKey).getLength(), 0u);
}
