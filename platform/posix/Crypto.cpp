//===- Crypto.cpp - Random bytes and AES-GCM on the substitute -------------===//
//
// Random bytes come from the kernel (getrandom); a provider context is only a
// number we hand out and take back, so its misuse fails as on Windows. The
// cipher is the system's libcrypto: its context, key schedule included, is
// freed with EVP_CIPHER_CTX_free, which zeroes it; what its calls leave on
// the stack below ours is zeroed after each seal and open. Only code that
// works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "zelsys/crypto.h"
#include "Errors.h"
#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <set>
#include <sys/random.h>

namespace zelsys {

namespace {

constexpr DWORD kErrorGenFailure = 31;
// Provider errors, the HRESULT-style values Windows reports.
constexpr DWORD NTE_BAD_UID = 0x80090001;
constexpr DWORD NTE_BAD_FLAGS = 0x80090009;
constexpr DWORD NTE_BAD_PROV_TYPE = 0x80090014;
constexpr DWORD NTE_BAD_KEYSET = 0x80090016;
constexpr DWORD NTE_PROVIDER_DLL_FAIL = 0x8009001D;

std::atomic<bool> g_bFailProvider{false};

struct Contexts {
  std::mutex mutex;
  std::set<HCRYPTPROV> live;
  HCRYPTPROV next = 1;
};

Contexts &contexts() {
  static Contexts instance;
  return instance;
}

bool isLive(HCRYPTPROV hProv) {
  Contexts &table = contexts();
  std::lock_guard<std::mutex> lock(table.mutex);
  return table.live.count(hProv) != 0;
}

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

CipherContext newContext() { return CipherContext(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free); }

// Zeroes the stack just below the caller's frame, where the frames of the
// call it has just made lay: pieces of the key and the text may stay there.
// Far more than the cipher calls use; the library's zeroing is never
// dropped as a dead store.
[[gnu::noinline]] void wipeDeadStack() {
  unsigned char abStack[16384];
  OPENSSL_cleanse(abStack, sizeof abStack);
}

} // namespace

BOOL CryptAcquireContextW(HCRYPTPROV *phProv, LPCWSTR szContainer, LPCWSTR szProvider,
                          DWORD dwProvType, DWORD dwFlags) {
  if (phProv == nullptr)
    return posix::failWith(ERROR_INVALID_PARAMETER);
  if (g_bFailProvider.load())
    return posix::failWith(NTE_PROVIDER_DLL_FAIL);
  if (dwProvType != PROV_RSA_FULL || szProvider != nullptr)
    return posix::failWith(NTE_BAD_PROV_TYPE);
  if ((dwFlags & ~CRYPT_VERIFYCONTEXT) != 0)
    return posix::failWith(NTE_BAD_FLAGS);
  // There are no key containers here: only verification contexts exist.
  if (dwFlags != CRYPT_VERIFYCONTEXT || szContainer != nullptr)
    return posix::failWith(NTE_BAD_KEYSET);
  Contexts &table = contexts();
  std::lock_guard<std::mutex> lock(table.mutex);
  const HCRYPTPROV hProv = table.next++;
  table.live.insert(hProv);
  *phProv = hProv;
  return TRUE;
}

BOOL CryptGenRandom(HCRYPTPROV hProv, DWORD dwLen, BYTE *pbBuffer) {
  if (!isLive(hProv))
    return posix::failWith(NTE_BAD_UID);
  if (pbBuffer == nullptr && dwLen != 0)
    return posix::failWith(ERROR_INVALID_PARAMETER);
  DWORD dwDone = 0;
  while (dwDone < dwLen) {
    const ssize_t got = ::getrandom(pbBuffer + dwDone, dwLen - dwDone, 0);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return posix::failWithErrno();
    }
    dwDone += static_cast<DWORD>(got);
  }
  return TRUE;
}

BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags) {
  if (dwFlags != 0)
    return posix::failWith(NTE_BAD_FLAGS);
  Contexts &table = contexts();
  std::lock_guard<std::mutex> lock(table.mutex);
  if (table.live.erase(hProv) == 0)
    return posix::failWith(NTE_BAD_UID);
  return TRUE;
}

void failCryptoProviderForTesting(bool bFail) { g_bFailProvider.store(bFail); }

// One cipher here (OpenSSL's), whatever the test asks for.
void useXpCipherForTesting(bool) {}

namespace {

// The seal and the open run in frames of their own, below the frame that
// wipes after them.
[[gnu::noinline]] BOOL sealInOwnFrame(const BYTE *pbKey, const BYTE *pbNonce, const BYTE *pbPlain,
                                      DWORD cbPlain, BYTE *pbCipher, BYTE *pbTag) {
  if (pbKey == nullptr || pbNonce == nullptr || pbTag == nullptr ||
      (cbPlain != 0 && (pbPlain == nullptr || pbCipher == nullptr)))
    return posix::failWith(ERROR_INVALID_PARAMETER);
  CipherContext ctx = newContext();
  int len = 0;
  int tail = 0;
  const bool ok =
      ctx && EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1 &&
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, AEAD_NONCE_SIZE, nullptr) == 1 &&
      EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, pbKey, pbNonce) == 1 &&
      (cbPlain == 0 ||
       EVP_EncryptUpdate(ctx.get(), pbCipher, &len, pbPlain, static_cast<int>(cbPlain)) == 1) &&
      EVP_EncryptFinal_ex(ctx.get(), pbCipher + len, &tail) == 1 &&
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, AEAD_TAG_SIZE, pbTag) == 1;
  if (!ok)
    return posix::failWith(kErrorGenFailure);
  return TRUE;
}

[[gnu::noinline]] BOOL openInOwnFrame(const BYTE *pbKey, const BYTE *pbNonce, const BYTE *pbCipher,
                                      DWORD cbCipher, const BYTE *pbTag, BYTE *pbPlain) {
  if (pbKey == nullptr || pbNonce == nullptr || pbTag == nullptr ||
      (cbCipher != 0 && (pbPlain == nullptr || pbCipher == nullptr)))
    return posix::failWith(ERROR_INVALID_PARAMETER);
  CipherContext ctx = newContext();
  int len = 0;
  int tail = 0;
  // The library takes the expected tag through a non-const pointer.
  BYTE abTag[AEAD_TAG_SIZE];
  std::memcpy(abTag, pbTag, AEAD_TAG_SIZE);
  const bool ready =
      ctx && EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1 &&
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, AEAD_NONCE_SIZE, nullptr) == 1 &&
      EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, pbKey, pbNonce) == 1 &&
      (cbCipher == 0 ||
       EVP_DecryptUpdate(ctx.get(), pbPlain, &len, pbCipher, static_cast<int>(cbCipher)) == 1) &&
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, AEAD_TAG_SIZE, abTag) == 1;
  if (!ready) {
    if (cbCipher != 0)
      std::memset(pbPlain, 0, cbCipher);
    return posix::failWith(kErrorGenFailure);
  }
  if (EVP_DecryptFinal_ex(ctx.get(), pbPlain + len, &tail) != 1) {
    // Unauthenticated plain text must not reach the caller.
    if (cbCipher != 0)
      std::memset(pbPlain, 0, cbCipher);
    return posix::failWith(ERROR_INVALID_DATA);
  }
  return TRUE;
}

} // namespace

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
