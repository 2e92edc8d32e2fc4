// zel_base64_encoder.cpp - CZELBase64Encoder and its helper.
//
// The decoder accepts exactly what the encoder writes: whole groups of four
// alphabet characters, the last ending in at most two "=", the bits the
// padding drops zero, followed by nothing but zero bytes (the terminator,
// or the zeroed rest of a fixed-size buffer). Anything else is refused
// whole before any output is made, rather than read as zero bits or cut
// short: text from elsewhere that only looks like Base64 must not turn into
// bytes. No caller needs line breaks or other white space, so none is
// skipped.
#include "zel_base64_encoder.h"

#include "zel_catch.h"
#include "zel_exceptions.h"
#include "zel_function_trace.h"

#include <string>

namespace {

const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_base64encoder";
const ZEL_USHORT ZEL_ENCODER[] = u"CZELBase64Encoder";
const ZEL_USHORT ZEL_HELPER[] = u"CZELBase64EncoderHelper";

const char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const ZEL_CHAR PAD = '=';

// The largest input whose encoding still fits a 32-bit count.
const ZEL_ULONG MAX_ENCODE_INPUT = 0xFFFFFFFFu / 4u * 3u;

std::u16string decimal(long long llValue) {
  const std::string digits = std::to_string(llValue);
  return std::u16string(digits.begin(), digits.end());
}

[[noreturn]] void raiseBadArg(const ZEL_USHORT *pszArgument, const ZEL_USHORT *pszReason,
                              ZEL_ULONG ulLine) {
  throw CZELBadArgException(pszArgument, pszReason, ZEL_SOURCE, ulLine, 1, true, false);
}

[[noreturn]] void raiseBadValue(const ZEL_USHORT *pszVariable, const std::u16string &value,
                                const std::u16string &verdict, ZEL_ULONG ulLine) {
  throw CBadValueException(pszVariable, value.c_str(), verdict.c_str(), 0, ZEL_SOURCE, ulLine, 1,
                           true, false);
}

// A character's 6-bit value, or -1 outside the alphabet.
int sextetOf(ZEL_CHAR cChar) {
  const unsigned char uc = static_cast<unsigned char>(cChar);
  if (uc >= 'A' && uc <= 'Z')
    return uc - 'A';
  if (uc >= 'a' && uc <= 'z')
    return uc - 'a' + 26;
  if (uc >= '0' && uc <= '9')
    return uc - '0' + 52;
  if (uc == '+')
    return 62;
  return uc == '/' ? 63 : -1;
}

[[noreturn]] void raiseBadCharacter(const ZEL_CHAR *pText, ZEL_ULONG ulAt,
                                    const std::u16string &verdict, ZEL_ULONG ulLine) {
  raiseBadValue(u"szEncoded",
                u"szEncoded[" + decimal(ulAt) + u"] = " +
                    decimal(static_cast<unsigned char>(pText[ulAt])),
                verdict, ulLine);
}

// Refuses what may follow the significant characters [0, ulLength): the
// padding must fill exactly the last group, and only zero bytes may follow
// the first zero byte.
void checkTail(const ZEL_CHAR *pText, ZEL_ULONG ulSize, ZEL_ULONG ulLength) {
  ZEL_ULONG ulAt = ulLength;
  for (; ulAt < ulSize && pText[ulAt] != 0; ++ulAt)
    if (pText[ulAt] != PAD)
      raiseBadCharacter(pText, ulAt, u"text after the padding", __LINE__);
  if (ulAt != (ulLength + 3) / 4 * 4)
    raiseBadValue(u"szEncoded",
                  decimal(ulAt - ulLength) + u" \"=\" after " + decimal(ulLength) + u" characters",
                  u"not padding to a whole group of 4", __LINE__);
  for (; ulAt < ulSize; ++ulAt)
    if (pText[ulAt] != 0)
      raiseBadCharacter(pText, ulAt, u"text after the terminating zero", __LINE__);
}

// Refuses a character outside the alphabet, and a last character carrying
// set bits that no byte holds (the encoder leaves them zero, so such text
// has another, canonical spelling and did not come from it).
void checkCharacters(const ZEL_CHAR *pText, ZEL_ULONG ulLength) {
  for (ZEL_ULONG ulAt = 0; ulAt < ulLength; ++ulAt)
    if (sextetOf(pText[ulAt]) < 0)
      raiseBadCharacter(pText, ulAt, u"not a Base64 character", __LINE__);
  // 2 characters hold 1 byte and 4 spare bits, 3 hold 2 bytes and 2.
  const int iSpareMask = ulLength % 4 == 2 ? 0x0F : ulLength % 4 == 3 ? 0x03 : 0;
  if ((sextetOf(pText[ulLength - 1]) & iSpareMask) != 0)
    raiseBadCharacter(pText, ulLength - 1, u"carrying bits past the last byte", __LINE__);
}

// Runs body as a traced operation whose failures are logged and give false.
template <class Body>
bool traced(const ZEL_USHORT *pszClass, const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine,
            Body &&body) {
  return zelTracedAbsorb(pszClass, pszMethod, ZEL_SOURCE, ulLine, CZELErrorSource::esLastError,
                         body);
}

} // namespace

// ---- Helper -----------------------------------------------------------------------

ZEL_CHAR CZELBase64EncoderHelper::_encode(ZEL_BYTE bValue) const {
  ZEL_CHAR cResult = 0;
  traced(ZEL_HELPER, u"_encode", __LINE__, [&] {
    if (bValue > 63)
      raiseBadArg(u"ZEL_BYTE bValue", u"Parameter is NULL", __LINE__);
    cResult = ALPHABET[bValue];
  });
  return cResult;
}

ZEL_BYTE CZELBase64EncoderHelper::_decode(ZEL_CHAR cChar) const {
  ZEL_BYTE bResult = 0;
  traced(ZEL_HELPER, u"_decode", __LINE__, [&] {
    if (static_cast<unsigned char>(cChar) & 0x80)
      raiseBadArg(u"ZEL_CHAR cChar", u"Parameter is NULL", __LINE__);
    const int iValue = sextetOf(cChar);
    bResult = static_cast<ZEL_BYTE>(iValue < 0 ? 0 : iValue);
  });
  return bResult;
}

ZEL_ULONG CZELBase64EncoderHelper::b64strlen(const CZELBuffer<ZEL_CHAR> &szText) const {
  CZELFunctionTrace trace(ZEL_HELPER, u"b64strlen", ZEL_SOURCE, __LINE__);
  const ZEL_CHAR *pText = szText.getBuffer();
  const ZEL_ULONG ulSize = pText ? szText.getSize() : 0;
  ZEL_ULONG ulLength = 0;
  while (ulLength < ulSize && pText[ulLength] != 0 && pText[ulLength] != PAD)
    ++ulLength;
  trace.setLogicalResult(static_cast<ZEL_LONG>(ulLength));
  return ulLength;
}

bool CZELBase64EncoderHelper::Base64_Encode(const CZELBuffer<ZEL_BYTE> &Data,
                                            CZELBuffer<ZEL_CHAR> &szEncoded) const {
  return traced(ZEL_HELPER, u"Base64_Encode", __LINE__, [&] {
    const ZEL_ULONG ulCount = Data.isValid() ? Data.getSize() : 0;
    if (ulCount == 0)
      raiseBadArg(u"CZELBuffer < ZEL_BYTE > &Data", u"Parameter is 0", __LINE__);
    if (ulCount > MAX_ENCODE_INPUT)
      raiseBadArg(u"CZELBuffer < ZEL_BYTE > &Data", u"Data is too large to encode", __LINE__);
    const ZEL_ULONG ulOutLength = (ulCount + 2) / 3 * 4;
    szEncoded.destroyBuffer();
    if (!szEncoded.allocBuffer(ulOutLength))
      return false;
    const ZEL_BYTE *pIn = Data.getBuffer();
    ZEL_CHAR *pOut = szEncoded.getBuffer();
    ZEL_ULONG ulOut = 0;
    for (ZEL_ULONG i = 0; i < ulCount; i += 3) {
      const ZEL_ULONG ulTake = ulCount - i < 3 ? ulCount - i : 3;
      ZEL_ULONG ulBits = static_cast<ZEL_ULONG>(pIn[i]) << 16;
      if (ulTake > 1)
        ulBits |= static_cast<ZEL_ULONG>(pIn[i + 1]) << 8;
      if (ulTake > 2)
        ulBits |= pIn[i + 2];
      // ulTake bytes carry ulTake + 1 characters; padding fills the group.
      for (ZEL_ULONG k = 0; k < 4; ++k) {
        pOut[ulOut++] =
            k <= ulTake ? _encode(static_cast<ZEL_BYTE>((ulBits >> (18 - 6 * k)) & 0x3F)) : PAD;
      }
    }
    return true;
  });
}

bool CZELBase64EncoderHelper::Base64_Decode(const CZELBuffer<ZEL_CHAR> &szEncoded,
                                            CZELBuffer<ZEL_BYTE> &Data) const {
  return traced(ZEL_HELPER, u"Base64_Decode", __LINE__, [&] {
    Data.destroyBuffer();
    if (!szEncoded.isValid())
      raiseBadArg(u"const CZELBuffer < ZEL_CHAR > &szEncoded", u"Buffer is invalid", __LINE__);
    const ZEL_ULONG ulLength = b64strlen(szEncoded);
    if (ulLength < 2)
      raiseBadValue(u"iTemp", decimal(ulLength), u"less than uEncodedIndex + 3 (3)", __LINE__);
    const ZEL_CHAR *pIn = szEncoded.getBuffer();
    checkCharacters(pIn, ulLength);
    // A lone trailing character carries 6 bits, not a whole byte: no
    // encoder produces it, and decoding it would invent data.
    if (ulLength % 4 == 1)
      raiseBadValue(u"iTemp", decimal(ulLength), u"not a whole number of bytes", __LINE__);
    checkTail(pIn, szEncoded.getSize(), ulLength);
    // Every 4 characters hold 3 bytes; a last group of 2 holds 1, of 3 holds 2.
    const ZEL_ULONG ulOutLength = ulLength / 4 * 3 + (ulLength % 4 == 0 ? 0 : ulLength % 4 - 1);
    if (!Data.allocBuffer(ulOutLength))
      return false;
    ZEL_BYTE *pOut = Data.getBuffer();
    ZEL_ULONG ulOut = 0;
    for (ZEL_ULONG i = 0; i < ulLength; i += 4) {
      ZEL_ULONG ulBits = 0;
      for (ZEL_ULONG k = 0; k < 4; ++k)
        ulBits =
            (ulBits << 6) | static_cast<ZEL_ULONG>(i + k < ulLength ? sextetOf(pIn[i + k]) : 0);
      for (ZEL_ULONG k = 0; k < 3 && ulOut < ulOutLength; ++k)
        pOut[ulOut++] = static_cast<ZEL_BYTE>((ulBits >> (16 - 8 * k)) & 0xFF);
    }
    return true;
  });
}

// ---- Encoder ----------------------------------------------------------------------

// The encoder holds no state that needs preparing or releasing.
bool CZELBase64Encoder::initialize() {
  return traced(ZEL_ENCODER, u"initialize", __LINE__, [] { return true; });
}

bool CZELBase64Encoder::finalize() {
  return traced(ZEL_ENCODER, u"finalize", __LINE__, [] { return true; });
}

bool CZELBase64Encoder::encode(const CZELBuffer<ZEL_BYTE> &data, CZELBuffer<ZEL_CHAR> &encoded) {
  return traced(ZEL_ENCODER, u"encode", __LINE__, [&] {
    encoded.destroyBuffer();
    return m_helper.Base64_Encode(data, encoded);
  });
}

bool CZELBase64Encoder::decode(const CZELBuffer<ZEL_BYTE> &encodedData,
                               CZELBuffer<ZEL_BYTE> &data) {
  return traced(ZEL_ENCODER, u"decode", __LINE__, [&] {
    data.destroyBuffer();
    const ZEL_ULONG ulSize = encodedData.isValid() ? encodedData.getSize() : 0;
    if (ulSize < 1)
      raiseBadValue(u"encodedData", decimal(ulSize), u"less than 1", __LINE__);
    const ZEL_BYTE bLast = encodedData.getBuffer()[ulSize - 1];
    if (bLast != 0 && bLast != static_cast<ZEL_BYTE>(PAD))
      raiseBadValue(u"encodedData", u"encodedData[" + decimal(ulSize) + u"] = " + decimal(bLast),
                    u"buffer does not end in NULL(0) or \"=\"(61)", __LINE__);
    const CZELBuffer<ZEL_CHAR> text(reinterpret_cast<const ZEL_CHAR *>(encodedData.getBuffer()),
                                    ulSize);
    return m_helper.Base64_Decode(text, data);
  });
}
