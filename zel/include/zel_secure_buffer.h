// zel_secure_buffer.h - CZELSecureBuffer, a 16-bit buffer for secrets.
//
// The storage is whole pages from the system's page allocator, locked against
// paging where the system allows it, sized in units of 16 bytes. The content
// is held there only enciphered under the object's own key (made from 32
// random bytes when the object is built), and the pages are zeroed before
// they go back to the system.
//
// Callers never touch the plain content in the storage: they hand it in with
// writeBuffer and get it back with readBuffer, which deciphers into a buffer
// of their own. getBuffer() therefore shows only enciphered bytes (or zeros).
// The operations of the plain buffer that would write elements in place
// (indexing, fill, appending, assignment) are not offered here.
#pragma once

#include "zel_buffer.h"
#include "zel_sym_key.h"
#include "zel_types.h"

#include <cstddef>

class CZELSecureBuffer : public CZELBuffer<ZEL_USHORT> {
public:
  // count 0 gives an empty buffer; otherwise allocBuffer(count). Failing to
  // make the key or the storage throws CZELSecureBufferInitException.
  explicit CZELSecureBuffer(ZEL_ULONG ulCount = 0);
  ~CZELSecureBuffer() override;

  // The key is the object's own: a copy would need the content re-enciphered
  // under another key, which nothing needs.
  CZELSecureBuffer(const CZELSecureBuffer &) = delete;
  CZELSecureBuffer &operator=(const CZELSecureBuffer &) = delete;

  // Rounds 2 x count bytes up to a multiple of 16 and takes that many bytes
  // of locked pages; the size becomes the rounded byte count / 2 (1 -> 8,
  // 8 -> 8, 9 -> 16). count 0 is refused. The content is that many zero
  // units until something is written.
  bool allocBuffer(ZEL_ULONG ulCount) override;
  // Zeroes, unlocks and releases the pages; always true.
  bool destroyBuffer() override;
  // Always false: a secure buffer never changes size in place.
  bool reAllocBuffer(ZEL_ULONG ulCount) override;

  // Zeroes the whole storage; with bReset the enciphered content is
  // forgotten too. False only for an empty buffer.
  bool zeroBuffer(bool bReset = false);

  // Appends other to the plain content and stores the whole enciphered,
  // growing the storage when the enciphered form does not fit.
  bool writeBuffer(const CZELBuffer<ZEL_USHORT> &other);
  // Places other at unit ulOffset of the plain content (replacing what is
  // there, extending the content past its end); an offset past the end of
  // the content is refused.
  bool writeBuffer(const CZELBuffer<ZEL_USHORT> &other, ZEL_ULONG ulOffset);
  // The plain content, deciphered into bufOut (replacing what it held).
  bool readBuffer(CZELBuffer<ZEL_USHORT> &bufOut) const;

  // Units of plain content, and bytes of enciphered content in the storage.
  ZEL_ULONG getContentLength() const { return m_ulContentLength; }
  ZEL_ULONG getEncipheredLength() const { return m_ulEncipheredLength; }

  ZEL_USHORT &operator[](ZEL_ULONG) = delete;
  const ZEL_USHORT &operator[](ZEL_ULONG) const = delete;
  bool fill(ZEL_USHORT, ZEL_ULONG) = delete;
  bool appendBuffer(const CZELBuffer<ZEL_USHORT> &) = delete;
  bool appendBuffer(const CZELBuffer<ZEL_USHORT> &, ZEL_ULONG) = delete;
  CZELSecureBuffer &operator+=(const CZELBuffer<ZEL_USHORT> &) = delete;

protected:
  // Returns zeroed pages to the system. Virtual so that a test can look at
  // the pages on their way out; an override must call this one.
  virtual void releasePages(void *pPages, std::size_t cbBytes);

private:
  // The plain content as bytes (copied as it lies when nothing is
  // enciphered yet).
  bool decryptBuffer(CZELBuffer<ZEL_BYTE> &bufPlain) const;
  // Enciphers bufPlain (an even number of bytes) into the storage.
  bool encryptBuffer(const CZELBuffer<ZEL_BYTE> &bufPlain);
  // The whole write: join or place, then store enciphered.
  bool storeContent(const CZELBuffer<ZEL_USHORT> &other, ZEL_ULONG ulOffset);

  ZEL_ULONG m_ulContentLength;
  ZEL_ULONG m_ulEncipheredLength;
  CZELSymKey m_key;
  // Whether the system accepted the lock of the current pages.
  bool m_bLocked;
};
