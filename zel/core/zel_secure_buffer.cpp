// zel_secure_buffer.cpp - CZELSecureBuffer, a 16-bit buffer for secrets.
//
// Storage is reserved and committed read-write in whole pages and locked
// against paging; a lock the system refuses (the process's lock limit) is
// logged as a warning and the pages are used unlocked. The plain content
// never lies in the pages: every write deciphers the current content into a
// heap buffer (zeroed when it goes), changes it there, enciphers the whole
// under the object's key and stores only that. Every operation runs under
// the framework's two handlers, recording a foreign failure with the last
// system error; like the plain buffer, it carries no trace.
#include "zel_secure_buffer.h"

#include "zel_catch.h"

#include "zelsys/kernel.h"
#include "zelsys/memory.h"
#include "zelsys/winconst.h"

#include <cstdint>
#include <cstring>
#include <limits>

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_secure_buffer";
static const ZEL_USHORT ZEL_BUFFER_ARG[] = u"this->m_pBuffer";

namespace {

constexpr std::uint64_t MAX_BYTES = std::numeric_limits<ZEL_ULONG>::max();
constexpr std::size_t UNIT_BYTES = sizeof(ZEL_USHORT);
// The storage grows in steps of this many bytes.
constexpr std::uint64_t ROUNDING = 16;
// What enciphering adds to the plain bytes.
constexpr std::uint64_t CIPHER_OVERHEAD = CZELSymKey::NONCE_SIZE + CZELSymKey::TAG_SIZE;

// Through a volatile pointer so that zeroing before a release is not dropped
// as a dead store.
void *(*const volatile g_pfnMemset)(void *, int, std::size_t) = std::memset;

void copyBytes(void *pDest, const void *pSource, std::size_t cbBytes, ZEL_ULONG ulLine) {
  if (cbBytes != 0 && std::memcpy(pDest, pSource, cbBytes) != pDest)
    throw CZELMemoryCopyException(static_cast<ZEL_LONG>(zelsys::GetLastError()), ZEL_SOURCE, ulLine,
                                  true);
}

// A page call that failed: a warning with the system's error code.
void logPageWarning(const ZEL_USHORT *pszMessage, ZEL_ULONG ulLine) noexcept {
  CZELLogWarning(pszMessage, static_cast<ZEL_LONG>(zelsys::GetLastError()),
                 CZELValueKind::ERROR_CODE, nullptr, nullptr, ZEL_SOURCE, ulLine, 1, true, false);
}

template <class Body> bool runOperation(ZEL_ULONG ulLine, Body &&body) noexcept {
  return zelAbsorb(ZEL_SOURCE, ulLine, CZELErrorSource::esLastError, body);
}

} // namespace

// ---- Construction and destruction -------------------------------------------

CZELSecureBuffer::CZELSecureBuffer(ZEL_ULONG ulCount)
    : CZELBuffer(0), m_ulContentLength(0), m_ulEncipheredLength(0), m_bLocked(false) {
  // A failed allocation leaves the buffer empty, so nothing needs releasing
  // when the constructor throws.
  if (!m_key.isValid() || (ulCount != 0 && !allocBuffer(ulCount)))
    throw CZELSecureBufferInitException(ZEL_SOURCE, __LINE__, 1, true, false);
}

CZELSecureBuffer::~CZELSecureBuffer() {
  // The pages must go here: the base destructor would release them as heap
  // memory.
  runOperation(__LINE__, [&] { destroyBuffer(); });
}

// ---- Storage ------------------------------------------------------------------

bool CZELSecureBuffer::allocBuffer(ZEL_ULONG ulCount) {
  return runOperation(__LINE__, [&] {
    if (!destroyBuffer() || ulCount == 0)
      return false;
    const std::uint64_t ullBytes =
        (static_cast<std::uint64_t>(ulCount) * UNIT_BYTES + ROUNDING - 1) / ROUNDING * ROUNDING;
    if (ullBytes > MAX_BYTES)
      throw CZELMemAllocException(ZEL_BUFFER_ARG, ZEL_SOURCE, __LINE__, 1, true, false);
    const auto cbBytes = static_cast<zelsys::SIZE_T>(ullBytes);
    void *pPages = zelsys::VirtualAlloc(nullptr, cbBytes, zelsys::MEM_RESERVE | zelsys::MEM_COMMIT,
                                        zelsys::PAGE_READWRITE);
    if (!pPages)
      throw CZELMemAllocException(ZEL_BUFFER_ARG, ZEL_SOURCE, __LINE__, 1, true, false);
    m_bLocked = zelsys::VirtualLock(pPages, cbBytes) != 0;
    if (!m_bLocked)
      logPageWarning(u"VirtualLock of buffer failed", __LINE__);
    m_pBuffer = static_cast<ZEL_USHORT *>(pPages);
    m_ulSize = static_cast<ZEL_ULONG>(cbBytes / UNIT_BYTES);
    m_ulContentLength = m_ulSize;
    return zeroBuffer(false);
  });
}

bool CZELSecureBuffer::destroyBuffer() {
  runOperation(__LINE__, [&] {
    if (!isValid())
      return;
    zeroBuffer(true);
    const std::size_t cbBytes = static_cast<std::size_t>(m_ulSize) * UNIT_BYTES;
    // Pages whose lock was refused are not unlocked: that would only log a
    // second warning for the same refusal.
    if (m_bLocked && !zelsys::VirtualUnlock(m_pBuffer, cbBytes))
      logPageWarning(u"VirtualUnlock of buffer failed", __LINE__);
    releasePages(m_pBuffer, cbBytes);
  });
  m_pBuffer = nullptr;
  m_ulSize = 0;
  m_ulContentLength = 0;
  m_ulEncipheredLength = 0;
  m_bLocked = false;
  return true;
}

void CZELSecureBuffer::releasePages(void *pPages, std::size_t) {
  if (!zelsys::VirtualFree(pPages, 0, zelsys::MEM_RELEASE))
    logPageWarning(u"VirtualFree of buffer failed", __LINE__);
}

bool CZELSecureBuffer::reAllocBuffer(ZEL_ULONG) { return false; }

bool CZELSecureBuffer::zeroBuffer(bool bReset) {
  if (!isValid())
    return false;
  return runOperation(__LINE__, [&] {
    const std::size_t cbBytes = static_cast<std::size_t>(m_ulSize) * UNIT_BYTES;
    if (g_pfnMemset(m_pBuffer, 0, cbBytes) != m_pBuffer)
      throw CZELMemorySetException(static_cast<ZEL_LONG>(zelsys::GetLastError()), ZEL_SOURCE,
                                   __LINE__, true);
    if (bReset)
      m_ulEncipheredLength = 0;
  });
}

// ---- Content --------------------------------------------------------------------

bool CZELSecureBuffer::writeBuffer(const CZELBuffer<ZEL_USHORT> &other) {
  return storeContent(other, m_ulContentLength);
}

bool CZELSecureBuffer::writeBuffer(const CZELBuffer<ZEL_USHORT> &other, ZEL_ULONG ulOffset) {
  return storeContent(other, ulOffset);
}

bool CZELSecureBuffer::readBuffer(CZELBuffer<ZEL_USHORT> &bufOut) const {
  return runOperation(__LINE__, [&] {
    CZELBuffer<ZEL_BYTE> bufPlain;
    if (!decryptBuffer(bufPlain))
      return false;
    const ZEL_ULONG ulUnits = bufPlain.getSize() / static_cast<ZEL_ULONG>(UNIT_BYTES);
    if (!bufOut.allocBuffer(ulUnits))
      return false;
    copyBytes(bufOut.getBuffer(), bufPlain.getBuffer(), bufPlain.getSize(), __LINE__);
    return true;
  });
}

bool CZELSecureBuffer::decryptBuffer(CZELBuffer<ZEL_BYTE> &bufPlain) const {
  if (m_ulEncipheredLength == 0) {
    // Nothing enciphered yet: the content is the (zeroed) storage as it is.
    const ZEL_ULONG cbPlain = m_ulContentLength * static_cast<ZEL_ULONG>(UNIT_BYTES);
    if (!bufPlain.allocBuffer(cbPlain))
      return false;
    copyBytes(bufPlain.getBuffer(), m_pBuffer, cbPlain, __LINE__);
    return true;
  }
  const CZELBuffer<ZEL_BYTE> bufCipher(reinterpret_cast<const ZEL_BYTE *>(m_pBuffer),
                                       m_ulEncipheredLength);
  return m_key.decrypt(bufCipher, bufPlain);
}

bool CZELSecureBuffer::encryptBuffer(const CZELBuffer<ZEL_BYTE> &bufPlain) {
  CZELBuffer<ZEL_BYTE> bufCipher;
  if (!m_key.encrypt(bufPlain, bufCipher))
    return false;
  const ZEL_ULONG cbCipher = bufCipher.getSize();
  if (static_cast<std::uint64_t>(cbCipher) > static_cast<std::uint64_t>(m_ulSize) * UNIT_BYTES) {
    // The old content is already deciphered into bufPlain by the caller, so
    // the old storage may go.
    if (!allocBuffer(static_cast<ZEL_ULONG>((cbCipher + UNIT_BYTES - 1) / UNIT_BYTES)))
      return false;
  } else {
    zeroBuffer(true);
  }
  copyBytes(m_pBuffer, bufCipher.getBuffer(), cbCipher, __LINE__);
  m_ulEncipheredLength = cbCipher;
  m_ulContentLength = bufPlain.getSize() / static_cast<ZEL_ULONG>(UNIT_BYTES);
  return true;
}

bool CZELSecureBuffer::storeContent(const CZELBuffer<ZEL_USHORT> &other, ZEL_ULONG ulOffset) {
  return runOperation(__LINE__, [&] {
    if (other.getSize() == 0)
      throw CZELBadArgException(u"buffer", u"buffer is of zero size - can't write", ZEL_SOURCE,
                                __LINE__, 1, true, false);
    if (ulOffset > m_ulContentLength)
      throw CZELBadArgException(u"ulOffset", u"can't write past the end of the content", ZEL_SOURCE,
                                __LINE__, 1, true, false);
    const std::uint64_t ullEnd = static_cast<std::uint64_t>(ulOffset) + other.getSize();
    const std::uint64_t ullUnits = ullEnd > m_ulContentLength ? ullEnd : m_ulContentLength;
    // The enciphered form, rounded storage included, must fit a 32-bit byte
    // count.
    if (ullUnits * UNIT_BYTES + CIPHER_OVERHEAD + ROUNDING > MAX_BYTES)
      throw CZELMemAllocException(ZEL_BUFFER_ARG, ZEL_SOURCE, __LINE__, 1, true, false);

    CZELBuffer<ZEL_BYTE> bufPlain;
    if (!decryptBuffer(bufPlain))
      return false;
    CZELBuffer<ZEL_BYTE> bufJoined(static_cast<ZEL_ULONG>(ullUnits * UNIT_BYTES));
    copyBytes(bufJoined.getBuffer(), bufPlain.getBuffer(), bufPlain.getSize(), __LINE__);
    copyBytes(bufJoined.getBuffer() + ulOffset * UNIT_BYTES, other.getBuffer(),
              other.getSize() * UNIT_BYTES, __LINE__);
    return encryptBuffer(bufJoined);
  });
}
