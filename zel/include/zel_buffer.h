// zel_buffer.h - CZELBuffer, the framework's owning array of plain elements.
//
// The storage is exactly as large as the element count (every size change
// allocates anew and copies), fresh storage is zero-filled, and storage is
// zeroed again before release. Failures are logged entries of the exception
// hierarchy: the constructors and the two indexing operators throw; every
// other operation logs and reports through its result.
//
// Allocation, release and resizing go through the three virtual slots, so a
// derived buffer that overrides them changes the storage of every operation.
#pragma once

#include "zel_types.h"

#include <type_traits>

template <class T> class CZELBuffer {
public:
  explicit CZELBuffer(ZEL_ULONG ulCount = 0);
  // count + ulOffset elements with data copied to position ulOffset; a null
  // data gives count zero elements (the offset is ignored).
  CZELBuffer(const T *pData, ZEL_ULONG ulCount, ZEL_ULONG ulOffset = 0);
  CZELBuffer(const CZELBuffer &other);
  // Virtual, unlike the slots' original design: a derived buffer deleted
  // through a base pointer must still release its own storage.
  virtual ~CZELBuffer();

  virtual bool allocBuffer(ZEL_ULONG ulCount);
  virtual bool destroyBuffer();
  virtual bool reAllocBuffer(ZEL_ULONG ulCount);

  bool zeroBuffer();
  bool flush();

  T *getBuffer() const { return m_pBuffer; }
  ZEL_ULONG getSize() const { return m_ulSize; }
  bool isValid() const { return m_pBuffer != nullptr && m_ulSize != 0; }

  // Bounds-checked: an index not below the size throws
  // CZELIndexOutOfBoundsException.
  T &operator[](ZEL_ULONG ulIndex);
  const T &operator[](ZEL_ULONG ulIndex) const;
  T operator()(ZEL_ULONG ulIndex) const;

  CZELBuffer &operator=(const CZELBuffer &other);
  CZELBuffer &operator+=(const CZELBuffer &other);
  // Exchanges the storage of two plain buffers without copying; false (and
  // nothing exchanged) when either is of a derived kind, whose storage is
  // its own.
  bool swapBuffer(CZELBuffer &other) noexcept;
  bool appendBuffer(const CZELBuffer &other);
  bool appendBuffer(const CZELBuffer &other, ZEL_ULONG ulOffset);
  bool writeBuffer(const CZELBuffer &other, ZEL_ULONG ulOffset, bool bGrow);
  bool fill(T value, ZEL_ULONG ulOffset);

  // Reinterpreting conversions: bytes are moved as they lie in memory.
  // 8-bit text as 16-bit units (an odd last byte gets a zero high byte);
  // 16-bit units as bytes, low byte first.
  // (Templates, so that neither exists on the instantiation it would convert
  // to itself.)
  template <class U, class = std::enable_if_t<
                         (std::is_same_v<T, ZEL_CHAR> && std::is_same_v<U, ZEL_USHORT>) ||
                         (std::is_same_v<T, ZEL_USHORT> && std::is_same_v<U, ZEL_BYTE>)>>
  operator CZELBuffer<U>() const;

protected:
  T *m_pBuffer;
  ZEL_ULONG m_ulSize;

private:
  // Copies ulCount elements from pSource to element ulAt, raising
  // CZELMemoryCopyException when the copy does not land.
  void copyElements(const T *pSource, ZEL_ULONG ulCount, ZEL_ULONG ulAt);
};

extern template class CZELBuffer<ZEL_CHAR>;
extern template class CZELBuffer<ZEL_BYTE>;
extern template class CZELBuffer<ZEL_USHORT>;
