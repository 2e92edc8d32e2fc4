// zel_rng_secure.cpp - CZELRNG::getRandomBytes for a secure buffer.
//
// Kept apart from the byte-buffer form so that only programs that use secure
// buffers pull the secure buffer in. The buffer's size is the number of
// bytes wanted; they are made in a plain buffer (zeroed when it goes) and
// handed to the secure buffer, which keeps them enciphered from the first
// unit on. An odd count leaves the high byte of the last unit zero.
#include "zel_rng.h"

#include "zel_catch.h"
#include "zel_exceptions.h"
#include "zel_function_trace.h"
#include "zel_secure_buffer.h"

#include <cstring>

namespace {

const ZEL_USHORT ZEL_SOURCE_RNG[] = u".\\zel_rng";

} // namespace

bool CZELRNG::getRandomBytes(CZELSecureBuffer &bufTarget) {
  CZELFunctionTrace trace(u"CZELRNG", u"getRandomBytes #2", ZEL_SOURCE_RNG, __LINE__);
  bool bResult = false;
  try {
    const ZEL_ULONG ulCount = bufTarget.getSize();
    if (ulCount == 0)
      throw CZELBadArgException(u"random", u"Target buffer must be of size of requested bytes",
                                ZEL_SOURCE_RNG, __LINE__, 1, true, false);
    CZELBuffer<ZEL_BYTE> bufFresh(ulCount);
    if (performRand(ulCount, bufFresh)) {
      CZELBuffer<ZEL_USHORT> bufUnits(ulCount / 2 + ulCount % 2);
      std::memcpy(bufUnits.getBuffer(), bufFresh.getBuffer(), ulCount);
      bResult = bufTarget.writeBuffer(bufUnits, 0);
    }
  } catch (CZELLogging &rEntry) {
    zelLogCaught(rEntry);
  } catch (...) {
    zelLogUnhandled(CZELErrorSource::esNone, ZEL_SOURCE_RNG, __LINE__);
    throw;
  }
  trace.setResult(bResult);
  return bResult;
}
