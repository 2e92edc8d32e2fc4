// zel_base64_encoder.h - bytes to Base64 text and back.
//
// Standard alphabet and "=" padding; the text is a buffer of 8-bit
// characters holding exactly the Base64 characters (no line breaks, no
// terminating zero). Decoding accepts only that form (see Base64_Decode).
// Every failure is logged and reported as false.
#pragma once

#include "zel_buffer.h"
#include "zel_types.h"

// What every encoder provides besides its own encode and decode.
class CZELEncoder {
public:
  virtual ~CZELEncoder() = default;
  // Prepares the encoder for use and releases what it holds after use.
  virtual bool initialize() = 0;
  virtual bool finalize() = 0;
};

// The character mapping and the block work of CZELBase64Encoder.
class CZELBase64EncoderHelper {
public:
  // A 6-bit value to its character; a value outside 0-63 is logged and
  // gives 0.
  ZEL_CHAR _encode(ZEL_BYTE bValue) const;
  // A character to its 6-bit value; any character outside the alphabet
  // gives 0, one with the top bit set is also logged.
  ZEL_BYTE _decode(ZEL_CHAR cChar) const;
  // Characters before the first zero byte or "=" (never past the buffer).
  ZEL_ULONG b64strlen(const CZELBuffer<ZEL_CHAR> &szText) const;

  // Fill an empty output buffer from the input.
  bool Base64_Encode(const CZELBuffer<ZEL_BYTE> &Data, CZELBuffer<ZEL_CHAR> &szEncoded) const;
  // Accepts exactly the encoder's output, optionally followed by zero
  // bytes: whole groups of 4 alphabet characters, "=" only as the padding of
  // the last group, the bits the padding drops zero. Anything else (white
  // space, "-" and "_", characters with the top bit set, text after the
  // padding or the terminating zero) is refused. Data is emptied first, so
  // a failure never leaves old content.
  bool Base64_Decode(const CZELBuffer<ZEL_CHAR> &szEncoded, CZELBuffer<ZEL_BYTE> &Data) const;
};

class CZELBase64Encoder : public CZELEncoder {
public:
  bool initialize() override;
  bool finalize() override;

  // The output is emptied first, so a failure never leaves old content.
  bool encode(const CZELBuffer<ZEL_BYTE> &data, CZELBuffer<ZEL_CHAR> &encoded);
  // The input must end in a zero byte or "="; otherwise as Base64_Decode.
  bool decode(const CZELBuffer<ZEL_BYTE> &encodedData, CZELBuffer<ZEL_BYTE> &data);

private:
  CZELBase64EncoderHelper m_helper;
};
