// zel_rng_secure.cpp - CZELRNG::getRandomBytes for a secure buffer.
//
// Kept apart from the byte-buffer form so that only programs that use secure
// buffers pull the secure buffer in. The buffer's size is the number of
// bytes wanted; they are made in a plain buffer (zeroed when it goes) and
// handed to the secure buffer, which keeps them enciphered from the first
// unit on. An odd count leaves the high byte of the last unit zero.
#include "zel_rng.h"

#include "zel_secure_buffer.h"

#include <cstring>

bool CZELRNG::getRandomBytes(CZELSecureBuffer &bufTarget) {
  return fillTarget(u"getRandomBytes #2", bufTarget.getSize(),
                    [&](const CZELBuffer<ZEL_BYTE> &bufFresh) {
                      const ZEL_ULONG ulCount = bufFresh.getSize();
                      CZELBuffer<ZEL_USHORT> bufUnits(ulCount / 2 + ulCount % 2);
                      std::memcpy(bufUnits.getBuffer(), bufFresh.getBuffer(), ulCount);
                      return bufTarget.writeBuffer(bufUnits, 0);
                    });
}
