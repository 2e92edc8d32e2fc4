//===- Crypto.cpp - Random bytes and AES-GCM on Windows --------------------===//
//
// The provider calls forward to advapi32. GCM comes from CNG (bcrypt.dll),
// which Windows XP lacks: it is loaded at run time so the program still
// starts there, and the cipher calls then fail cleanly. Only code for
// Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/crypto.h"
#include "WindowsSupport.h"

#include <atomic>
#include <bcrypt.h>
#include <cstring>
#include <wincrypt.h>

namespace zelsys {

namespace {

std::atomic<bool> g_bFailProvider{false};

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

template <class Fn> Fn entry(::HMODULE hModule, const char *pszName) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(hModule, pszName)));
}

const Cng &cng() {
  static const Cng instance = [] {
    Cng c;
    ::HMODULE hModule = ::LoadLibraryW(L"bcrypt.dll");
    if (hModule == nullptr)
      return c;
    c.open = entry<OpenAlgorithmFn>(hModule, "BCryptOpenAlgorithmProvider");
    c.close = entry<CloseAlgorithmFn>(hModule, "BCryptCloseAlgorithmProvider");
    c.setProperty = entry<SetPropertyFn>(hModule, "BCryptSetProperty");
    c.generateKey = entry<GenerateKeyFn>(hModule, "BCryptGenerateSymmetricKey");
    c.destroyKey = entry<DestroyKeyFn>(hModule, "BCryptDestroyKey");
    c.encrypt = entry<CipherFn>(hModule, "BCryptEncrypt");
    c.decrypt = entry<CipherFn>(hModule, "BCryptDecrypt");
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

BOOL aeadSeal(const BYTE *pbKey, const BYTE *pbNonce, const BYTE *pbPlain, DWORD cbPlain,
              BYTE *pbCipher, BYTE *pbTag) {
  if (!argumentsGiven(pbKey, pbNonce, pbTag, pbPlain, cbPlain, pbCipher))
    return failWith(ERROR_INVALID_PARAMETER);
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

BOOL aeadOpen(const BYTE *pbKey, const BYTE *pbNonce, const BYTE *pbCipher, DWORD cbCipher,
              const BYTE *pbTag, BYTE *pbPlain) {
  if (!argumentsGiven(pbKey, pbNonce, pbTag, pbCipher, cbCipher, pbPlain))
    return failWith(ERROR_INVALID_PARAMETER);
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

} // namespace zelsys
