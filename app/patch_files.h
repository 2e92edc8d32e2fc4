// patch_files.h - the raw file writing the patch log and the cache rewrite
// share: a handle closed on every way out, and a whole-or-nothing write.
#pragma once

#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"
#include "zelsys/winconst.h"

class CPatchFileHandle {
public:
  explicit CPatchFileHandle(zelsys::HANDLE hFile) : m_hFile(hFile) {}
  ~CPatchFileHandle() { close(); }
  CPatchFileHandle(const CPatchFileHandle &) = delete;
  CPatchFileHandle &operator=(const CPatchFileHandle &) = delete;

  bool isValid() const { return m_hFile != zelsys::INVALID_HANDLE_VALUE; }
  zelsys::HANDLE get() const { return m_hFile; }
  bool close() {
    const bool bClosed = !isValid() || zelsys::CloseHandle(m_hFile);
    m_hFile = zelsys::INVALID_HANDLE_VALUE;
    return bClosed;
  }
  // Moves to the end, however large the file (the high part taken too).
  bool moveToEnd() const {
    zelsys::LONG lHigh = 0;
    zelsys::SetLastError(zelsys::ERROR_SUCCESS);
    return zelsys::SetFilePointer(m_hFile, 0, &lHigh, zelsys::FILE_END) !=
               zelsys::INVALID_SET_FILE_POINTER ||
           zelsys::GetLastError() == zelsys::ERROR_SUCCESS;
  }
  // Whether all dwBytes were written.
  bool write(const void *pData, zelsys::DWORD dwBytes) const {
    if (dwBytes == 0)
      return true;
    zelsys::DWORD dwWritten = 0;
    return zelsys::WriteFile(m_hFile, pData, dwBytes, &dwWritten, nullptr) && dwWritten == dwBytes;
  }

private:
  zelsys::HANDLE m_hFile;
};
