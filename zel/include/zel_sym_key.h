// zel_sym_key.h - CZELSymKey, a 256-bit key for authenticated enciphering.
//
// Enciphers byte buffers with AES-256 in GCM mode. The enciphered form is
// the 12-byte random nonce, the ciphertext (as long as the plain bytes) and
// the 16-byte authentication tag. Deciphering with another key, or of bytes
// changed in any way, fails and leaves the output untouched. The key bytes
// live in the object and are zeroed when it goes.
#pragma once

#include "zel_buffer.h"
#include "zel_types.h"

class CZELSymKey {
public:
  static constexpr ZEL_ULONG KEY_SIZE = 32;
  static constexpr ZEL_ULONG NONCE_SIZE = 12;
  static constexpr ZEL_ULONG TAG_SIZE = 16;

  // A fresh key of 32 bytes from CZELSwRNG; when it has none to give, an
  // invalid key (the failure is logged), which refuses every operation.
  CZELSymKey();
  // A key from the given bytes; anything but 32 bytes gives an invalid key
  // (logged), which refuses every operation.
  explicit CZELSymKey(const CZELBuffer<ZEL_BYTE> &bufKey);
  CZELSymKey(const CZELSymKey &other);
  CZELSymKey &operator=(const CZELSymKey &other);
  ~CZELSymKey();

  bool isValid() const { return m_bValid; }

  // Empty plain input is refused. cipher is written only on success.
  bool encrypt(const CZELBuffer<ZEL_BYTE> &bufPlain, CZELBuffer<ZEL_BYTE> &bufCipher) const;
  // Input shorter than nonce and tag, a wrong key or changed bytes fail.
  // plain is written only on success.
  bool decrypt(const CZELBuffer<ZEL_BYTE> &bufCipher, CZELBuffer<ZEL_BYTE> &bufPlain) const;

private:
  void wipe();

  ZEL_BYTE m_abKey[KEY_SIZE];
  bool m_bValid;
};
