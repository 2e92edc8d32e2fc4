//===- zelsys/crypto.h - Random bytes and authenticated enciphering --------===//
//
// The cryptographic provider's random source, with Windows' names and
// behaviour, and AES-256-GCM over the system's cipher library. Both report
// failure through the return value and the last-error value.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

#include <cstdint>

namespace zelsys {

using HCRYPTPROV = std::uintptr_t;

// PROV_RSA_FULL and CRYPT_VERIFYCONTEXT are in winconst.h. The substitute
// offers only verification contexts (no container) of PROV_RSA_FULL: they are
// all the random source needs.
BOOL CryptAcquireContextW(HCRYPTPROV *phProv, LPCWSTR szContainer, LPCWSTR szProvider,
                          DWORD dwProvType, DWORD dwFlags);
BOOL CryptGenRandom(HCRYPTPROV hProv, DWORD dwLen, BYTE *pbBuffer);
BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags);

// For tests on both platforms: while set, CryptAcquireContextW fails with
// NTE_PROVIDER_DLL_FAIL (0x8009001D), as it does on a machine whose provider is broken.
// Never set by the framework itself.
void failCryptoProviderForTesting(bool bFail);

// For tests on both platforms: while set, the Windows implementation
// enciphers as it does where the system has no GCM (Windows XP). The
// substitute has one cipher and ignores it. Never set by the framework.
void useXpCipherForTesting(bool bUse);

// AES-256-GCM with a 12-byte nonce and a 16-byte tag, no additional data.
constexpr DWORD AEAD_KEY_SIZE = 32;
constexpr DWORD AEAD_NONCE_SIZE = 12;
constexpr DWORD AEAD_TAG_SIZE = 16;

// Enciphers cbPlain bytes into pbCipher (cbPlain bytes) and writes the tag.
// Where the system has no GCM (Windows XP) the Windows implementation makes
// it from the provider's AES; ERROR_CALL_NOT_IMPLEMENTED (120) when that
// is missing too, ERROR_GEN_FAILURE (31) when the cipher library fails.
BOOL aeadSeal(const BYTE *pbKey, const BYTE *pbNonce, const BYTE *pbPlain, DWORD cbPlain,
              BYTE *pbCipher, BYTE *pbTag);
// Deciphers and checks the tag; a mismatch (wrong key, changed bytes) fails
// with ERROR_INVALID_DATA (13) and leaves pbPlain zeroed.
BOOL aeadOpen(const BYTE *pbKey, const BYTE *pbNonce, const BYTE *pbCipher, DWORD cbCipher,
              const BYTE *pbTag, BYTE *pbPlain);

} // namespace zelsys
