// zel_buffer.cpp - CZELBuffer, the framework's owning array of plain elements.
//
// Storage is exactly as large as the element count, zero-filled when it is
// allocated and again before it is released. Every allocation, release and
// resize goes through the three virtual slots. Failures are entries of the
// log hierarchy: the constructors and the indexing operators throw, every
// other operation absorbs (logs, reports false). The buffer's trace is the
// compiled-out one, so its methods carry none.
#include "zel_buffer.h"

#include "zel_catch.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <typeinfo>
#include <utility>

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_buffer";
static const ZEL_USHORT ZEL_BUFFER_ARG[] = u"m_pBuffer";

namespace {

// The largest storage a buffer may hold: its byte size is a 32-bit number.
constexpr std::uint64_t MAX_BYTES = std::numeric_limits<ZEL_ULONG>::max();
constexpr ZEL_ULONG MAX_COUNT = std::numeric_limits<ZEL_ULONG>::max();

template <class T> bool fitsInBytes(std::uint64_t ullCount) {
  return ullCount <= MAX_BYTES / sizeof(T);
}

// Reached through a volatile pointer so the compiler cannot prove the zeroing
// before a release dead and drop it.
void *(*const volatile g_pfnMemset)(void *, int, std::size_t) = std::memset;

// Copies bytes, raising CZELMemoryCopyException when the copy does not land.
void copyBytes(void *pDest, const void *pSource, std::size_t cbBytes, ZEL_ULONG ulLine) {
  if (cbBytes == 0)
    return;
  if (std::memcpy(pDest, pSource, cbBytes) != pDest)
    throw CZELMemoryCopyException(errno, ZEL_SOURCE, ulLine, true);
}

// Records a failed allocation the way allocBuffer does.
void logAllocFailure(ZEL_ULONG ulLine) noexcept {
  CZELMemAllocException(ZEL_BUFFER_ARG, ZEL_SOURCE, ulLine, 1, true, false);
}

} // namespace

// ---- Construction and destruction -------------------------------------------

template <class T> CZELBuffer<T>::CZELBuffer(ZEL_ULONG ulCount) : m_pBuffer(nullptr), m_ulSize(0) {
  // allocBuffer leaves the buffer empty when it fails: nothing to release.
  if (!allocBuffer(ulCount))
    throw CZELBufferInitException(ZEL_SOURCE, __LINE__, true);
}

template <class T>
CZELBuffer<T>::CZELBuffer(const T *pData, ZEL_ULONG ulCount, ZEL_ULONG ulOffset)
    : m_pBuffer(nullptr), m_ulSize(0) {
  if (ulCount == 0)
    return;
  // Entries of the hierarchy are written and pass out unchanged; anything
  // else is recorded as unhandled and becomes CZELBufferInitException, as
  // does a failed allocation or copy. The destructor does not run for a
  // constructor that throws, so the storage is released here.
  bool bDone = false;
  try {
    if (!pData) {
      bDone = allocBuffer(ulCount);
    } else if (ulOffset > MAX_COUNT - ulCount) {
      logAllocFailure(__LINE__); // count + offset elements do not fit 32 bits
    } else if (allocBuffer(ulCount + ulOffset)) {
      bDone = zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno,
                        [&] { copyElements(pData, ulCount, ulOffset); });
    }
  } catch (CZELLogging &rEntry) {
    zelLogCaught(rEntry);
    destroyBuffer();
    throw;
  } catch (...) {
    zelLogUnhandled(CZELErrorSource::esErrno, ZEL_SOURCE, __LINE__);
  }
  if (!bDone) {
    destroyBuffer();
    throw CZELBufferInitException(ZEL_SOURCE, __LINE__, true);
  }
}

template <class T>
CZELBuffer<T>::CZELBuffer(const CZELBuffer &other) : m_pBuffer(nullptr), m_ulSize(0) {
  // operator= absorbs its own failures (leaving this empty); only what
  // escapes it is translated.
  zelTranslate<CZELBufferInitException>(
      ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] { *this = other; }, ZEL_SOURCE, __LINE__,
      true);
}

template <class T> CZELBuffer<T>::~CZELBuffer() {
  // Inside the destructor this is the base's own slot: a derived buffer has
  // released its storage in its own destructor already.
  zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] { destroyBuffer(); });
}

// ---- Storage ------------------------------------------------------------------

template <class T> bool CZELBuffer<T>::allocBuffer(ZEL_ULONG ulCount) {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    if (!destroyBuffer())
      return false;
    if (ulCount == 0)
      return true;
    // A byte size past 32 bits counts as a failed allocation; a request the
    // heap cannot serve gives null rather than std::bad_alloc.
    T *pBuffer = fitsInBytes<T>(ulCount) ? new (std::nothrow) T[ulCount] : nullptr;
    if (!pBuffer)
      throw CZELMemAllocException(ZEL_BUFFER_ARG, ZEL_SOURCE, __LINE__, 1, true, false);
    m_pBuffer = pBuffer;
    m_ulSize = ulCount;
    zeroBuffer();
    return true;
  });
}

template <class T> bool CZELBuffer<T>::destroyBuffer() {
  if (m_pBuffer) {
    zeroBuffer();
    // Releasing cannot raise anything in C++ (delete[] is noexcept), so the
    // CMemDestroyFailWarning has no path to arise here.
    delete[] m_pBuffer;
  }
  m_pBuffer = nullptr;
  m_ulSize = 0;
  return true;
}

template <class T> bool CZELBuffer<T>::reAllocBuffer(ZEL_ULONG ulCount) {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    const CZELBuffer copy(*this);
    // The copy absorbs a failed allocation (already logged) and comes out
    // empty: give up before losing the contents.
    if (copy.m_ulSize != m_ulSize)
      return false;
    if (!allocBuffer(ulCount))
      return false;
    copyElements(copy.m_pBuffer, ulCount < copy.m_ulSize ? ulCount : copy.m_ulSize, 0);
    return true;
  });
}

template <class T> bool CZELBuffer<T>::zeroBuffer() {
  if (!m_pBuffer || m_ulSize == 0)
    return false;
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    if (g_pfnMemset(m_pBuffer, 0, static_cast<std::size_t>(m_ulSize) * sizeof(T)) != m_pBuffer)
      throw CZELMemorySetException(errno, ZEL_SOURCE, __LINE__, true);
  });
}

template <class T> bool CZELBuffer<T>::flush() { return destroyBuffer(); }

template <class T> bool CZELBuffer<T>::swapBuffer(CZELBuffer &other) noexcept {
  if (typeid(*this) != typeid(CZELBuffer) || typeid(other) != typeid(CZELBuffer))
    return false;
  std::swap(m_pBuffer, other.m_pBuffer);
  std::swap(m_ulSize, other.m_ulSize);
  return true;
}

// ---- Access ---------------------------------------------------------------------

template <class T> T &CZELBuffer<T>::operator[](ZEL_ULONG ulIndex) {
  if (ulIndex >= m_ulSize)
    throw CZELIndexOutOfBoundsException(ZEL_SOURCE, __LINE__, true);
  return m_pBuffer[ulIndex];
}

template <class T> const T &CZELBuffer<T>::operator[](ZEL_ULONG ulIndex) const {
  if (ulIndex >= m_ulSize)
    throw CZELIndexOutOfBoundsException(ZEL_SOURCE, __LINE__, true);
  return m_pBuffer[ulIndex];
}

template <class T> T CZELBuffer<T>::operator()(ZEL_ULONG ulIndex) const {
  if (ulIndex >= m_ulSize)
    throw CZELIndexOutOfBoundsException(ZEL_SOURCE, __LINE__, true);
  return m_pBuffer[ulIndex];
}

// ---- Copying and combining ----------------------------------------------------
// A buffer combined with itself works on a copy of itself: the resize would
// otherwise change the source under the copy.

template <class T> CZELBuffer<T> &CZELBuffer<T>::operator=(const CZELBuffer &other) {
  if (this == &other)
    return *this;
  const bool bDone = zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    if (!allocBuffer(other.m_ulSize))
      return false;
    copyElements(other.m_pBuffer, other.m_ulSize, 0);
    return true;
  });
  if (!bDone)
    destroyBuffer();
  return *this;
}

template <class T> CZELBuffer<T> &CZELBuffer<T>::operator+=(const CZELBuffer &other) {
  appendBuffer(other);
  return *this;
}

template <class T> bool CZELBuffer<T>::appendBuffer(const CZELBuffer &other) {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    if (this == &other) {
      const CZELBuffer copy(other);
      return copy.m_ulSize == m_ulSize && appendBuffer(copy);
    }
    const ZEL_ULONG ulOldSize = m_ulSize;
    if (other.m_ulSize > MAX_COUNT - ulOldSize) {
      logAllocFailure(__LINE__); // the element count does not fit 32 bits
      return false;
    }
    if (!reAllocBuffer(ulOldSize + other.m_ulSize))
      return false;
    copyElements(other.m_pBuffer, other.m_ulSize, ulOldSize);
    return true;
  });
}

template <class T> bool CZELBuffer<T>::appendBuffer(const CZELBuffer &other, ZEL_ULONG ulOffset) {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    if (ulOffset > m_ulSize)
      throw CZELBadArgException(
          u"ulOffset", u"can't append a buffer at an offset past the bounds of this buffer",
          ZEL_SOURCE, __LINE__, 1, true, false);
    if (this == &other) {
      const CZELBuffer copy(other);
      return copy.m_ulSize == m_ulSize && appendBuffer(copy, ulOffset);
    }
    if (other.m_ulSize > MAX_COUNT - ulOffset) {
      logAllocFailure(__LINE__); // the element count does not fit 32 bits
      return false;
    }
    if (!reAllocBuffer(ulOffset + other.m_ulSize))
      return false;
    return writeBuffer(other, ulOffset, false);
  });
}

template <class T>
bool CZELBuffer<T>::writeBuffer(const CZELBuffer &other, ZEL_ULONG ulOffset, bool bGrow) {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    if (other.m_ulSize == 0)
      throw CZELBadArgException(u"buffer", u"buffer is of zero size - can't write", ZEL_SOURCE,
                                __LINE__, 1, true, false);
    if (static_cast<std::uint64_t>(ulOffset) + other.m_ulSize > m_ulSize) {
      if (!bGrow)
        throw CZELBadArgException(u"buffer", u"buffer + offset will overrun this buffer",
                                  ZEL_SOURCE, __LINE__, 1, true, false);
      return appendBuffer(other, ulOffset);
    }
    if (this == &other)
      return true; // fits only at offset 0: the buffer over itself
    copyElements(other.m_pBuffer, other.m_ulSize, ulOffset);
    return true;
  });
}

template <class T> bool CZELBuffer<T>::fill(T value, ZEL_ULONG ulOffset) {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    if (ulOffset >= m_ulSize)
      throw CZELBadArgException(u"ulOffset", u"value is out of bounds", ZEL_SOURCE, __LINE__, 1,
                                true, false);
    if (!isValid())
      return false;
    for (ZEL_ULONG ulIndex = ulOffset; ulIndex < m_ulSize; ++ulIndex)
      m_pBuffer[ulIndex] = value;
    return true;
  });
}

// ---- Reinterpreting conversions -------------------------------------------------

template <class T> template <class U, class> CZELBuffer<T>::operator CZELBuffer<U>() const {
  CZELBuffer<U> result;
  if (m_ulSize == 0)
    return result;
  const std::uint64_t ullBytes = static_cast<std::uint64_t>(m_ulSize) * sizeof(T);
  // Whole units of U; an odd last byte gets a zero high byte (fresh storage
  // is zero).
  const std::uint64_t ullUnits = ullBytes / sizeof(U) + (ullBytes % sizeof(U) != 0 ? 1 : 0);
  try {
    // A failed allocation has been logged as CZELMemAllocException already.
    if (!fitsInBytes<U>(ullUnits) || !result.allocBuffer(static_cast<ZEL_ULONG>(ullUnits)))
      throw std::bad_alloc();
    copyBytes(result.getBuffer(), m_pBuffer, static_cast<std::size_t>(ullBytes), __LINE__);
  } catch (...) {
    zelLogUnhandled(CZELErrorSource::esErrno, ZEL_SOURCE, __LINE__);
    result.flush();
  }
  return result;
}

// ---- Private helpers ------------------------------------------------------------

template <class T>
void CZELBuffer<T>::copyElements(const T *pSource, ZEL_ULONG ulCount, ZEL_ULONG ulAt) {
  if (ulCount == 0)
    return;
  copyBytes(m_pBuffer + ulAt, pSource, static_cast<std::size_t>(ulCount) * sizeof(T), __LINE__);
}

// ---- Instantiations -------------------------------------------------------------

template class CZELBuffer<ZEL_CHAR>;
template class CZELBuffer<ZEL_BYTE>;
template class CZELBuffer<ZEL_USHORT>;
template CZELBuffer<ZEL_CHAR>::operator CZELBuffer<ZEL_USHORT>() const;
template CZELBuffer<ZEL_USHORT>::operator CZELBuffer<ZEL_BYTE>() const;
