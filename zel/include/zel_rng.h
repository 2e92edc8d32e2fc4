// zel_rng.h - CZELRNG and CZELSwRNG, the framework's source of random bytes.
//
// CZELRNG fills a byte buffer or a secure buffer with as many random bytes as
// the buffer holds; the derived class decides where they come from.
// CZELSwRNG asks the platform's cryptographic provider; when that fails the
// failure is logged and the call fails, with the target as it was (there is
// no weaker fallback: the bytes become keys).
#pragma once

#include <functional>

#include "zel_buffer.h"
#include "zel_types.h"

class CZELSecureBuffer;

class CZELRNG {
public:
  virtual ~CZELRNG() = default;

  // The buffer's size is the number of bytes wanted; an empty buffer is
  // logged and refused. On success the buffer holds fresh random bytes; on
  // failure (false) it is unchanged.
  bool getRandomBytes(CZELBuffer<ZEL_BYTE> &bufTarget);
  bool getRandomBytes(CZELSecureBuffer &bufTarget);

protected:
  // Fills the first ulCount bytes of bufOut (which holds at least that many).
  virtual bool performRand(ZEL_ULONG ulCount, CZELBuffer<ZEL_BYTE> &bufOut) = 0;

private:
  // The shape of both getRandomBytes forms under the trace named pszMethod:
  // refuse an empty target, make ulCount bytes into a fresh buffer and let
  // store hand them to the target only when that succeeded.
  bool fillTarget(const ZEL_USHORT *pszMethod, ZEL_ULONG ulCount,
                  const std::function<bool(const CZELBuffer<ZEL_BYTE> &)> &store);
};

class CZELSwRNG : public CZELRNG {
protected:
  bool performRand(ZEL_ULONG ulCount, CZELBuffer<ZEL_BYTE> &bufOut) override;
};
