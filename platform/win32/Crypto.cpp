//===- Crypto.cpp - Random bytes and AES-GCM on Windows --------------------===//
//
// The provider calls forward to advapi32. GCM comes from CNG (bcrypt.dll),
// which Windows XP lacks: it is loaded at run time so the program still
// starts there, and there GCM is made here from the provider's AES (which
// XP SP3 has) in counter mode with its own GHASH. What the cipher calls
// leave on the stack below ours (CNG under Wine leaves the whole key there),
// our own GHASH values included, is zeroed after each seal and open. Only
// code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/crypto.h"
#include "WindowsSupport.h"

#include <array>
#include <atomic>
#include <bcrypt.h>
#include <cstring>
#include <new>
#include <vector>
#include <wincrypt.h>

namespace zelsys {

namespace {

std::atomic<bool> g_bFailProvider{false};
std::atomic<bool> g_bUseXpCipher{false};

constexpr NTSTATUS kStatusAuthTagMismatch = static_cast<NTSTATUS>(0xC000A002L);

using OpenAlgorithmFn = NTSTATUS(WINAPI *)(BCRYPT_ALG_HANDLE *, ::LPCWSTR, ::LPCWSTR, ::ULONG);
using CloseAlgorithmFn = NTSTATUS(WINAPI *)(BCRYPT_ALG_HANDLE, ::ULONG);
using SetPropertyFn = NTSTATUS(WINAPI *)(BCRYPT_HANDLE, ::LPCWSTR, PUCHAR, ::ULONG, ::ULONG);
using GenerateKeyFn = NTSTATUS(WINAPI *)(BCRYPT_ALG_HANDLE, BCRYPT_KEY_HANDLE *, PUCHAR, ::ULONG,
                                         PUCHAR, ::ULONG, ::ULONG);
using DestroyKeyFn = NTSTATUS(WINAPI *)(BCRYPT_KEY_HANDLE);
using CipherFn = NTSTATUS(WINAPI *)(BCRYPT_KEY_HANDLE, PUCHAR, ::ULONG, VOID *, PUCHAR, ::ULONG,
                                    PUCHAR, ::ULONG, ::ULONG *, ::ULONG);

struct Cng {
  OpenAlgorithmFn open = nullptr;
  CloseAlgorithmFn close = nullptr;
  SetPropertyFn setProperty = nullptr;
  GenerateKeyFn generateKey = nullptr;
  DestroyKeyFn destroyKey = nullptr;
  CipherFn encrypt = nullptr;
  CipherFn decrypt = nullptr;
  bool ok = false;
};

const Cng &cng() {
  static const Cng instance = [] {
    Cng c;
    ::HMODULE hModule = ::LoadLibraryW(L"bcrypt.dll");
    if (hModule == nullptr)
      return c;
    c.open = win32::entryOf<OpenAlgorithmFn>(hModule, "BCryptOpenAlgorithmProvider");
    c.close = win32::entryOf<CloseAlgorithmFn>(hModule, "BCryptCloseAlgorithmProvider");
    c.setProperty = win32::entryOf<SetPropertyFn>(hModule, "BCryptSetProperty");
    c.generateKey = win32::entryOf<GenerateKeyFn>(hModule, "BCryptGenerateSymmetricKey");
    c.destroyKey = win32::entryOf<DestroyKeyFn>(hModule, "BCryptDestroyKey");
    c.encrypt = win32::entryOf<CipherFn>(hModule, "BCryptEncrypt");
    c.decrypt = win32::entryOf<CipherFn>(hModule, "BCryptDecrypt");
    c.ok = c.open && c.close && c.setProperty && c.generateKey && c.destroyKey && c.encrypt &&
           c.decrypt;
    return c;
  }();
  return instance;
}

// An AES-GCM key object over the given key bytes, closed on every way out.
class GcmKey {
public:
  explicit GcmKey(const BYTE *pbKey) {
    const Cng &c = cng();
    if (!c.ok) {
      m_dwError = ERROR_CALL_NOT_IMPLEMENTED;
      return;
    }
    if (c.open(&m_hAlg, BCRYPT_AES_ALGORITHM, nullptr, 0) != 0) {
      m_hAlg = nullptr;
      return;
    }
    auto *mode = reinterpret_cast<PUCHAR>(const_cast<wchar_t *>(BCRYPT_CHAIN_MODE_GCM));
    if (c.setProperty(m_hAlg, BCRYPT_CHAINING_MODE, mode,
                      static_cast<::ULONG>(sizeof(BCRYPT_CHAIN_MODE_GCM)), 0) != 0)
      return;
    if (c.generateKey(m_hAlg, &m_hKey, nullptr, 0, const_cast<PUCHAR>(pbKey), AEAD_KEY_SIZE, 0) !=
        0)
      m_hKey = nullptr;
  }
  ~GcmKey() {
    if (m_hKey != nullptr)
      cng().destroyKey(m_hKey);
    if (m_hAlg != nullptr)
      cng().close(m_hAlg, 0);
  }
  GcmKey(const GcmKey &) = delete;
  GcmKey &operator=(const GcmKey &) = delete;

  BCRYPT_KEY_HANDLE get() const { return m_hKey; }
  ::DWORD error() const { return m_dwError; }

private:
  BCRYPT_ALG_HANDLE m_hAlg = nullptr;
  BCRYPT_KEY_HANDLE m_hKey = nullptr;
  ::DWORD m_dwError = ERROR_GEN_FAILURE;
};

BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO authInfo(const BYTE *pbNonce, BYTE *pbTag) {
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
  std::memset(&info, 0, sizeof(info));
  info.cbSize = sizeof(info);
  info.dwInfoVersion = BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO_VERSION;
  info.pbNonce = const_cast<PUCHAR>(pbNonce);
  info.cbNonce = AEAD_NONCE_SIZE;
  info.pbTag = pbTag;
  info.cbTag = AEAD_TAG_SIZE;
  return info;
}

BOOL failWith(::DWORD dwError) {
  ::SetLastError(dwError);
  return FALSE;
}

// Key, nonce and tag always; input and output when there are bytes to move.
bool argumentsGiven(const BYTE *pbKey, const BYTE *pbNonce, const BYTE *pbTag, const BYTE *pbIn,
                    DWORD cbIn, const BYTE *pbOut) {
  return pbKey != nullptr && pbNonce != nullptr && pbTag != nullptr &&
         (cbIn == 0 || (pbIn != nullptr && pbOut != nullptr));
}

// The provider's AES-256 enciphering whole blocks in place (ECB): the block
// function of GCM where CNG is missing.
class ProviderAes {
public:
  explicit ProviderAes(const BYTE *pbKey) {
    if (!::CryptAcquireContextW(&m_hProv, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
      m_hProv = 0;
      return;
    }
    struct {
      BLOBHEADER header;
      ::DWORD cbKey;
      BYTE abKey[AEAD_KEY_SIZE];
    } blob{{PLAINTEXTKEYBLOB, CUR_BLOB_VERSION, 0, CALG_AES_256}, AEAD_KEY_SIZE, {}};
    std::memcpy(blob.abKey, pbKey, AEAD_KEY_SIZE);
    const bool bImported = ::CryptImportKey(m_hProv, reinterpret_cast<BYTE *>(&blob), sizeof(blob),
                                            0, 0, &m_hKey) != FALSE;
    ::RtlSecureZeroMemory(&blob, sizeof(blob));
    ::DWORD dwMode = CRYPT_MODE_ECB;
    if (!bImported || !::CryptSetKeyParam(m_hKey, KP_MODE, reinterpret_cast<BYTE *>(&dwMode), 0))
      release();
  }
  ~ProviderAes() { release(); }
  ProviderAes(const ProviderAes &) = delete;
  ProviderAes &operator=(const ProviderAes &) = delete;

  bool ok() const { return m_hKey != 0; }
  bool encipher(BYTE *pbBlocks, ::DWORD cbBlocks) const {
    ::DWORD cbData = cbBlocks;
    return ::CryptEncrypt(m_hKey, 0, FALSE, 0, pbBlocks, &cbData, cbBlocks) && cbData == cbBlocks;
  }

private:
  void release() {
    if (m_hKey != 0)
      ::CryptDestroyKey(m_hKey);
    if (m_hProv != 0)
      ::CryptReleaseContext(m_hProv, 0);
    m_hKey = 0;
    m_hProv = 0;
  }

  ::HCRYPTPROV m_hProv = 0;
  ::HCRYPTKEY m_hKey = 0;
};

using Block = std::array<BYTE, 16>;

// Multiplication in GCM's field GF(2^128), bit 0 being the top bit of byte 0.
Block gfMultiply(const Block &x, const Block &y) {
  Block z{};
  Block v = y;
  for (int i = 0; i < 128; ++i) {
    if (x[i / 8] & (0x80 >> (i % 8)))
      for (int j = 0; j < 16; ++j)
        z[j] ^= v[j];
    const bool bLowBit = (v[15] & 1) != 0;
    for (int j = 15; j > 0; --j)
      v[j] = static_cast<BYTE>((v[j] >> 1) | (v[j - 1] << 7));
    v[0] = static_cast<BYTE>(v[0] >> 1);
    if (bLowBit)
      v[0] ^= 0xE1;
  }
  return z;
}

// GHASH of the cipher text (no additional data) and its length block.
Block ghash(const Block &h, const BYTE *pbCipher, DWORD cbCipher) {
  Block y{};
  for (DWORD dwAt = 0; dwAt < cbCipher; dwAt += 16) {
    for (DWORD i = 0; i < 16 && dwAt + i < cbCipher; ++i)
      y[i] ^= pbCipher[dwAt + i];
    y = gfMultiply(y, h);
  }
  const std::uint64_t bits = std::uint64_t(cbCipher) * 8;
  for (int i = 0; i < 8; ++i)
    y[8 + i] ^= static_cast<BYTE>(bits >> (56 - 8 * i));
  return gfMultiply(y, h);
}

// The enciphered blocks GCM needs for cbText bytes: H (the zero block), the
// tag's mask (the nonce with counter 1), then the key stream (counters from
// 2). Empty when they cannot be made.
std::vector<BYTE> gcmBlocks(const BYTE *pbKey, const BYTE *pbNonce, DWORD cbText,
                            ::DWORD &dwError) {
  std::vector<BYTE> blocks;
  const ProviderAes aes(pbKey);
  if (!aes.ok()) {
    dwError = ERROR_CALL_NOT_IMPLEMENTED;
    return blocks;
  }
  const std::uint64_t count = 2 + (std::uint64_t(cbText) + 15) / 16;
  if (count * 16 > 0x7FFFFFF0u) {
    dwError = ERROR_NOT_ENOUGH_MEMORY;
    return blocks;
  }
  try {
    blocks.assign(static_cast<std::size_t>(count * 16), 0);
  } catch (const std::bad_alloc &) {
    dwError = ERROR_NOT_ENOUGH_MEMORY;
    return blocks;
  }
  for (std::uint64_t i = 1; i < count; ++i) {
    BYTE *pbBlock = blocks.data() + i * 16;
    std::memcpy(pbBlock, pbNonce, AEAD_NONCE_SIZE);
    for (int j = 0; j < 4; ++j)
      pbBlock[12 + j] = static_cast<BYTE>(i >> (24 - 8 * j));
  }
  if (!aes.encipher(blocks.data(), static_cast<::DWORD>(blocks.size()))) {
    ::RtlSecureZeroMemory(blocks.data(), blocks.size());
    blocks.clear();
    dwError = ERROR_GEN_FAILURE;
  }
  return blocks;
}

// The tag of cbCipher bytes of cipher text under the blocks above.
Block gcmTag(const std::vector<BYTE> &blocks, const BYTE *pbCipher, DWORD cbCipher) {
  Block h;
  std::memcpy(h.data(), blocks.data(), 16);
  Block tag = ghash(h, pbCipher, cbCipher);
  for (int i = 0; i < 16; ++i)
    tag[i] ^= blocks[16 + i];
  return tag;
}

void applyKeyStream(const std::vector<BYTE> &blocks, const BYTE *pbIn, DWORD cbIn, BYTE *pbOut) {
  for (DWORD i = 0; i < cbIn; ++i)
    pbOut[i] = static_cast<BYTE>(pbIn[i] ^ blocks[32 + i]);
}

BOOL providerSeal(const BYTE *pbKey, const BYTE *pbNonce, const BYTE *pbPlain, DWORD cbPlain,
                  BYTE *pbCipher, BYTE *pbTag) {
  ::DWORD dwError = ERROR_SUCCESS;
  std::vector<BYTE> blocks = gcmBlocks(pbKey, pbNonce, cbPlain, dwError);
  if (blocks.empty())
    return failWith(dwError);
  applyKeyStream(blocks, pbPlain, cbPlain, pbCipher);
  const Block tag = gcmTag(blocks, pbCipher, cbPlain);
  std::memcpy(pbTag, tag.data(), AEAD_TAG_SIZE);
  ::RtlSecureZeroMemory(blocks.data(), blocks.size());
  return TRUE;
}

BOOL providerOpen(const BYTE *pbKey, const BYTE *pbNonce, const BYTE *pbCipher, DWORD cbCipher,
                  const BYTE *pbTag, BYTE *pbPlain) {
  ::DWORD dwError = ERROR_SUCCESS;
  std::vector<BYTE> blocks = gcmBlocks(pbKey, pbNonce, cbCipher, dwError);
  if (blocks.empty())
    return failWith(dwError);
  const Block tag = gcmTag(blocks, pbCipher, cbCipher);
  BYTE bDiffer = 0; // compared in full, whatever the first difference
  for (DWORD i = 0; i < AEAD_TAG_SIZE; ++i)
    bDiffer = static_cast<BYTE>(bDiffer | (tag[i] ^ pbTag[i]));
  if (bDiffer == 0)
    applyKeyStream(blocks, pbCipher, cbCipher, pbPlain);
  else if (cbCipher != 0)
    std::memset(pbPlain, 0, cbCipher);
  ::RtlSecureZeroMemory(blocks.data(), blocks.size());
  return bDiffer == 0 ? TRUE : failWith(ERROR_INVALID_DATA);
}

bool useProviderGcm() { return g_bUseXpCipher.load() || !cng().ok; }

// Zeroes the stack just below the caller's frame, where the frames of the
// call it has just made lay: pieces of the key and the text may stay there.
// Far more than the cipher calls use; RtlSecureZeroMemory's stores are
// never dropped.
[[gnu::noinline]] void wipeDeadStack() {
  BYTE abStack[16384];
  ::RtlSecureZeroMemory(abStack, sizeof abStack);
}

// The seal and the open run in frames of their own, below the frame that
// wipes after them.
[[gnu::noinline]] BOOL sealInOwnFrame(const BYTE *pbKey, const BYTE *pbNonce, const BYTE *pbPlain,
                                      DWORD cbPlain, BYTE *pbCipher, BYTE *pbTag) {
  if (!argumentsGiven(pbKey, pbNonce, pbTag, pbPlain, cbPlain, pbCipher))
    return failWith(ERROR_INVALID_PARAMETER);
  if (useProviderGcm())
    return providerSeal(pbKey, pbNonce, pbPlain, cbPlain, pbCipher, pbTag);
  GcmKey key(pbKey);
  if (key.get() == nullptr)
    return failWith(key.error());
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = authInfo(pbNonce, pbTag);
  ::ULONG cbDone = 0;
  if (cng().encrypt(key.get(), const_cast<PUCHAR>(pbPlain), cbPlain, &info, nullptr, 0, pbCipher,
                    cbPlain, &cbDone, 0) != 0 ||
      cbDone != cbPlain)
    return failWith(ERROR_GEN_FAILURE);
  return TRUE;
}

[[gnu::noinline]] BOOL openInOwnFrame(const BYTE *pbKey, const BYTE *pbNonce, const BYTE *pbCipher,
                                      DWORD cbCipher, const BYTE *pbTag, BYTE *pbPlain) {
  if (!argumentsGiven(pbKey, pbNonce, pbTag, pbCipher, cbCipher, pbPlain))
    return failWith(ERROR_INVALID_PARAMETER);
  if (useProviderGcm())
    return providerOpen(pbKey, pbNonce, pbCipher, cbCipher, pbTag, pbPlain);
  GcmKey key(pbKey);
  if (key.get() == nullptr)
    return failWith(key.error());
  BYTE abTag[AEAD_TAG_SIZE];
  std::memcpy(abTag, pbTag, AEAD_TAG_SIZE);
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = authInfo(pbNonce, abTag);
  ::ULONG cbDone = 0;
  const NTSTATUS status = cng().decrypt(key.get(), const_cast<PUCHAR>(pbCipher), cbCipher, &info,
                                        nullptr, 0, pbPlain, cbCipher, &cbDone, 0);
  if (status != 0 || cbDone != cbCipher) {
    // Unauthenticated plain text must not reach the caller.
    if (cbCipher != 0)
      std::memset(pbPlain, 0, cbCipher);
    ::SetLastError(status == kStatusAuthTagMismatch ? ERROR_INVALID_DATA : ERROR_GEN_FAILURE);
    return FALSE;
  }
  return TRUE;
}

} // namespace

BOOL CryptAcquireContextW(HCRYPTPROV *phProv, LPCWSTR szContainer, LPCWSTR szProvider,
                          DWORD dwProvType, DWORD dwFlags) {
  if (g_bFailProvider.load())
    return failWith(NTE_PROVIDER_DLL_FAIL);
  ::HCRYPTPROV hProv = 0;
  const BOOL bOk = ::CryptAcquireContextW(&hProv, win32::wide(szContainer), win32::wide(szProvider),
                                          dwProvType, dwFlags);
  if (bOk && phProv != nullptr)
    *phProv = static_cast<HCRYPTPROV>(hProv);
  return bOk;
}

BOOL CryptGenRandom(HCRYPTPROV hProv, DWORD dwLen, BYTE *pbBuffer) {
  return ::CryptGenRandom(static_cast<::HCRYPTPROV>(hProv), dwLen, pbBuffer);
}

BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags) {
  return ::CryptReleaseContext(static_cast<::HCRYPTPROV>(hProv), dwFlags);
}

void failCryptoProviderForTesting(bool bFail) { g_bFailProvider.store(bFail); }

void useXpCipherForTesting(bool bUse) { g_bUseXpCipher.store(bUse); }

BOOL aeadSeal(const BYTE *pbKey, const BYTE *pbNonce, const BYTE *pbPlain, DWORD cbPlain,
              BYTE *pbCipher, BYTE *pbTag) {
  const BOOL bSealed = sealInOwnFrame(pbKey, pbNonce, pbPlain, cbPlain, pbCipher, pbTag);
  wipeDeadStack();
  return bSealed;
}

BOOL aeadOpen(const BYTE *pbKey, const BYTE *pbNonce, const BYTE *pbCipher, DWORD cbCipher,
              const BYTE *pbTag, BYTE *pbPlain) {
  const BOOL bOpened = openInOwnFrame(pbKey, pbNonce, pbCipher, cbCipher, pbTag, pbPlain);
  wipeDeadStack();
  return bOpened;
}

} // namespace zelsys
