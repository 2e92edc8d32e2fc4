// zel_sym_key.cpp - CZELSymKey over the platform's AES-256-GCM.
//
// Every operation is traced and absorbs its failures: it logs them and
// returns false, with its output untouched. Keys and the nonce of each
// enciphering come from CZELSwRNG, which fails rather than make guessable
// bytes: a repeated nonce under one key gives away GCM's authentication, so
// without the provider there is no key and no enciphering.
#include "zel_sym_key.h"

#include "zel_catch.h"
#include "zel_exceptions.h"
#include "zel_function_trace.h"
#include "zel_rng.h"
#include "zelsys/crypto.h"
#include "zelsys/kernel.h"

#include <cstring>

namespace {

const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_sym_key";
const ZEL_USHORT ZEL_CLASS[] = u"CZELSymKey";

static_assert(CZELSymKey::KEY_SIZE == zelsys::AEAD_KEY_SIZE, "key size");
static_assert(CZELSymKey::NONCE_SIZE == zelsys::AEAD_NONCE_SIZE, "nonce size");
static_assert(CZELSymKey::TAG_SIZE == zelsys::AEAD_TAG_SIZE, "tag size");

[[noreturn]] void raiseFailed(ZEL_ULONG ulLine) {
  throw CZELSymKeyUnhandledException(static_cast<ZEL_LONG>(zelsys::GetLastError()), ZEL_SOURCE,
                                     ulLine, 1, true, false);
}

void fillNonce(ZEL_BYTE *pbNonce) {
  CZELBuffer<ZEL_BYTE> bufNonce(CZELSymKey::NONCE_SIZE);
  CZELSwRNG rng;
  if (!rng.getRandomBytes(bufNonce))
    raiseFailed(__LINE__);
  std::memcpy(pbNonce, bufNonce.getBuffer(), CZELSymKey::NONCE_SIZE);
}

// Zeroing that the optimiser may not drop as a dead store.
void wipeBytes(ZEL_BYTE *pb, ZEL_ULONG ulCount) {
  volatile ZEL_BYTE *pv = pb;
  for (ZEL_ULONG ul = 0; ul < ulCount; ++ul)
    pv[ul] = 0;
}

} // namespace

CZELSymKey::CZELSymKey() : m_abKey{}, m_bValid(false) {
  CZELBuffer<ZEL_BYTE> bufKey(KEY_SIZE);
  CZELSwRNG rng;
  if (rng.getRandomBytes(bufKey)) {
    std::memcpy(m_abKey, bufKey.getBuffer(), KEY_SIZE);
    m_bValid = true;
  }
}

CZELSymKey::CZELSymKey(const CZELBuffer<ZEL_BYTE> &bufKey) : m_abKey{}, m_bValid(false) {
  zelTracedAbsorb(ZEL_CLASS, u"CZELSymKey", ZEL_SOURCE, __LINE__, CZELErrorSource::esNone, [&] {
    if (bufKey.getSize() != KEY_SIZE)
      throw CZELSymKeyBadArg(u"key must be 32 bytes", ZEL_SOURCE, __LINE__, 1, true, false);
    std::memcpy(m_abKey, bufKey.getBuffer(), KEY_SIZE);
    m_bValid = true;
  });
}

CZELSymKey::CZELSymKey(const CZELSymKey &other) : m_abKey{}, m_bValid(other.m_bValid) {
  std::memcpy(m_abKey, other.m_abKey, KEY_SIZE);
}

CZELSymKey &CZELSymKey::operator=(const CZELSymKey &other) {
  if (this != &other) {
    std::memcpy(m_abKey, other.m_abKey, KEY_SIZE);
    m_bValid = other.m_bValid;
  }
  return *this;
}

CZELSymKey::~CZELSymKey() { wipe(); }

void CZELSymKey::wipe() {
  wipeBytes(m_abKey, KEY_SIZE);
  m_bValid = false;
}

bool CZELSymKey::encrypt(const CZELBuffer<ZEL_BYTE> &bufPlain,
                         CZELBuffer<ZEL_BYTE> &bufCipher) const {
  return zelTracedAbsorb(
      ZEL_CLASS, u"encrypt", ZEL_SOURCE, __LINE__, CZELErrorSource::esLastError, [&] {
        if (!m_bValid)
          throw CZELSymKeyBadArg(u"not a valid sym key", ZEL_SOURCE, __LINE__, 1, true, false);
        const ZEL_ULONG ulPlain = bufPlain.getSize();
        if (ulPlain == 0)
          throw CZELSymKeyZeroInputBuffer(ZEL_SOURCE, __LINE__, 1, true, false);
        if (ulPlain > 0xFFFFFFFFu - NONCE_SIZE - TAG_SIZE)
          throw CZELSymKeyBadArg(u"input too large", ZEL_SOURCE, __LINE__, 1, true, false);
        CZELBuffer<ZEL_BYTE> bufOut(NONCE_SIZE + ulPlain + TAG_SIZE);
        ZEL_BYTE *pbOut = bufOut.getBuffer();
        fillNonce(pbOut);
        if (!zelsys::aeadSeal(m_abKey, pbOut, bufPlain.getBuffer(), ulPlain, pbOut + NONCE_SIZE,
                              pbOut + NONCE_SIZE + ulPlain))
          raiseFailed(__LINE__);
        bufCipher = bufOut;
        return bufCipher.getSize() == bufOut.getSize();
      });
}

bool CZELSymKey::decrypt(const CZELBuffer<ZEL_BYTE> &bufCipher,
                         CZELBuffer<ZEL_BYTE> &bufPlain) const {
  return zelTracedAbsorb(
      ZEL_CLASS, u"decrypt", ZEL_SOURCE, __LINE__, CZELErrorSource::esLastError, [&] {
        if (!m_bValid)
          throw CZELSymKeyBadArg(u"not a valid sym key", ZEL_SOURCE, __LINE__, 1, true, false);
        const ZEL_ULONG ulSize = bufCipher.getSize();
        if (ulSize <= NONCE_SIZE + TAG_SIZE)
          throw CZELSymKeyBadArg(u"enciphered input too short", ZEL_SOURCE, __LINE__, 1, true,
                                 false);
        const ZEL_ULONG ulPlain = ulSize - NONCE_SIZE - TAG_SIZE;
        const ZEL_BYTE *pbIn = bufCipher.getBuffer();
        CZELBuffer<ZEL_BYTE> bufOut(ulPlain);
        if (!zelsys::aeadOpen(m_abKey, pbIn, pbIn + NONCE_SIZE, ulPlain,
                              pbIn + NONCE_SIZE + ulPlain, bufOut.getBuffer()))
          raiseFailed(__LINE__);
        bufPlain = bufOut;
        return bufPlain.getSize() == bufOut.getSize();
      });
}
