// zel_wchar_string_obscure.cpp - CZELWCharString: keyed obscuring.
//
// The obscured text is the Base64 form of the string's storage (terminator
// included) enciphered with the caller's key. The key authenticates what it
// enciphers, so text obscured with another key, or changed in any
// character, does not come back. Every failure gives an empty string.
#include "zel_wchar_string.h"
#include "zel_wchar_string_private.h"

#include "zel_base64_encoder.h"
#include "zel_sym_key.h"
#include "zelsys/kernel.h"

#include <algorithm>

namespace {

[[noreturn]] void raiseEncoder(ZEL_ULONG ulLine) {
  throw CZELLogException1(u"unable to encode the string for whatever reason",
                          static_cast<ZEL_LONG>(zelsys::GetLastError()), 0, nullptr, nullptr,
                          ZEL_SOURCE, ulLine, 1, true, false);
}

} // namespace

CZELWCharString CZELWCharString::obscure(const CZELSymKey &symKey) const {
  CZELWCharString text;
  const bool bResult = runOperation<CZELFunctionTrace>(u"obscure", __LINE__, [&] {
    if (getLength() == 0)
      raiseBadArg(u"this string", u"Can't obscure empty string", __LINE__);
    const CZELBuffer<ZEL_BYTE> plain = static_cast<const UnitBuffer &>(*this);
    CZELBuffer<ZEL_BYTE> cipher;
    if (plain.getSize() == 0 || !symKey.encrypt(plain, cipher))
      raiseBadArg(u"symKey", u"not a valid sym key", __LINE__);
    CZELBase64Encoder encoder;
    CZELBuffer<ZEL_CHAR> encoded;
    if (!encoder.initialize() || !encoder.encode(cipher, encoded) || !encoder.finalize())
      raiseEncoder(__LINE__);
    text = CZELWCharString(encoded);
    return text.getLength() == encoded.getSize();
  });
  if (!bResult)
    text.destroyBuffer();
  return text;
}

CZELWCharString CZELWCharString::unobscure(const CZELSymKey &symKey) const {
  CZELWCharString text;
  const bool bResult = runOperation<CZELFunctionTrace>(u"unobscure", __LINE__, [&] {
    const ZEL_ULONG ulLength = getLength();
    if (ulLength == 0)
      raiseBadArg(u"this string", u"Can't unobscure empty string", __LINE__);
    // Base64 is ASCII: a unit beyond it cannot belong to obscured text, and
    // narrowing it would turn it into some other, valid character.
    const ZEL_USHORT *pUnits = getBuffer();
    if (std::any_of(pUnits, pUnits + ulLength, [](ZEL_USHORT us) { return us > 0x7F; }))
      raiseBadArg(u"this string", u"not an obscured string", __LINE__);
    // The decoder wants its input to end in a zero byte.
    CZELBuffer<ZEL_BYTE> encoded(ulLength + 1);
    std::transform(pUnits, pUnits + ulLength, encoded.getBuffer(),
                   [](ZEL_USHORT us) { return static_cast<ZEL_BYTE>(us); });
    CZELBase64Encoder encoder;
    CZELBuffer<ZEL_BYTE> cipher;
    if (!encoder.initialize() || !encoder.decode(encoded, cipher) || !encoder.finalize())
      raiseEncoder(__LINE__);
    CZELBuffer<ZEL_BYTE> plain;
    if (!symKey.decrypt(cipher, plain))
      raiseBadArg(u"symKey", u"not a valid sym key", __LINE__);
    // Whole 16-bit units ending in the terminator, as obscure left them.
    const ZEL_ULONG ulUnits = plain.getSize() / 2;
    if (plain.getSize() % 2 != 0 || ulUnits < 2)
      raiseBadArg(u"this string", u"not an obscured string", __LINE__);
    UnitBuffer units(ulUnits);
    const ZEL_BYTE *pBytes = plain.getBuffer();
    for (ZEL_ULONG i = 0; i < ulUnits; ++i)
      units.getBuffer()[i] =
          static_cast<ZEL_USHORT>(pBytes[2 * i] | static_cast<ZEL_USHORT>(pBytes[2 * i + 1] << 8));
    if (units.getBuffer()[ulUnits - 1] != 0)
      raiseBadArg(u"this string", u"not an obscured string", __LINE__);
    text = CZELWCharString(units);
    return text.getLength() == ulUnits - 1;
  });
  if (!bResult)
    text.destroyBuffer();
  return text;
}
