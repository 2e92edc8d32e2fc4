// zel_rng.cpp - CZELRNG and CZELSwRNG.
//
// getRandomBytes has random bytes made into a fresh buffer and copies them
// over the target only when that succeeded, so a failure leaves the target
// as it was. CZELSwRNG takes its bytes from the provider alone: the bytes
// feed keys, and anything weaker (a generator seeded from the clock, say)
// would hand out keys anyone can guess while reporting success, so a
// provider failure is logged and fails the call.
#include "zel_rng.h"

#include "zel_catch.h"
#include "zel_exceptions.h"
#include "zel_function_trace.h"
#include "zelsys/crypto.h"
#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

#include <cstring>

namespace {

const ZEL_USHORT ZEL_SOURCE_RNG[] = u".\\zel_rng";
const ZEL_USHORT ZEL_SOURCE_SWRNG[] = u".\\zel_swrng";

[[noreturn]] void raiseCapi(ZEL_ULONG ulLine) {
  throw CZELSwRNGCapiException(static_cast<ZEL_LONG>(zelsys::GetLastError()), ZEL_SOURCE_SWRNG,
                               ulLine, 1, true, false);
}

} // namespace

bool CZELRNG::getRandomBytes(CZELBuffer<ZEL_BYTE> &bufTarget) {
  return fillTarget(u"getRandomBytes #1", bufTarget.getSize(),
                    [&](const CZELBuffer<ZEL_BYTE> &bufFresh) {
                      std::memcpy(bufTarget.getBuffer(), bufFresh.getBuffer(), bufFresh.getSize());
                      return true;
                    });
}

bool CZELRNG::fillTarget(const ZEL_USHORT *pszMethod, ZEL_ULONG ulCount,
                         const std::function<bool(const CZELBuffer<ZEL_BYTE> &)> &store) {
  CZELFunctionTrace trace(u"CZELRNG", pszMethod, ZEL_SOURCE_RNG, __LINE__);
  const bool bResult = zelAbsorbLogged(ZEL_SOURCE_RNG, __LINE__, CZELErrorSource::esNone, [&] {
    if (ulCount == 0)
      throw CZELBadArgException(u"random", u"Target buffer must be of size of requested bytes",
                                ZEL_SOURCE_RNG, __LINE__, 1, true, false);
    CZELBuffer<ZEL_BYTE> bufFresh(ulCount);
    return performRand(ulCount, bufFresh) && store(bufFresh);
  });
  trace.setResult(bResult);
  return bResult;
}

bool CZELSwRNG::performRand(ZEL_ULONG ulCount, CZELBuffer<ZEL_BYTE> &bufOut) {
  CZELFunctionTrace trace(u"CZELSwRNG", u"performRand", ZEL_SOURCE_SWRNG, __LINE__);
  // Never more than the buffer holds, whatever the caller asked for.
  if (ulCount > bufOut.getSize())
    ulCount = bufOut.getSize();
  ZEL_BYTE *pbOut = bufOut.getBuffer();
  const bool bFilled = zelAbsorb(ZEL_SOURCE_SWRNG, __LINE__, CZELErrorSource::esLastError, [&] {
    zelsys::HCRYPTPROV hProv = 0;
    if (!zelsys::CryptAcquireContextW(&hProv, nullptr, nullptr, zelsys::PROV_RSA_FULL,
                                      zelsys::CRYPT_VERIFYCONTEXT))
      raiseCapi(__LINE__);
    const bool bGenerated = zelsys::CryptGenRandom(hProv, ulCount, pbOut) != zelsys::FALSE;
    const zelsys::DWORD dwError = zelsys::GetLastError();
    zelsys::CryptReleaseContext(hProv, 0);
    if (!bGenerated) {
      zelsys::SetLastError(dwError);
      raiseCapi(__LINE__);
    }
  });
  trace.setResult(bFilled);
  return bFilled;
}
