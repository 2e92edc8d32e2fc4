// zel_file.h - CZELFile, one file of the Windows file system by name.
//
// Tests whether the file exists, opens it in one of three modes, reads it
// whole or in part (dropping a UTF-16 byte-order mark on request), writes to
// it and reads the string items of its version resource. Every operation
// answers with a boolean and lets nothing escape: failures are written as
// log entries and give false.
#pragma once

#include "zel_buffer.h"
#include "zel_wchar_string.h"

#include "zelsys/wintypes.h"

class CZELFile {
public:
  // The open modes: read an existing file; create or empty a file for
  // reading and writing; open or create one and append.
  enum OpenMode : ZEL_ULONG { omRead = 0, omCreate = 1, omAppend = 2 };

  CZELFile();
  explicit CZELFile(const CZELWCharString &strFilename);
  // A copy takes the name and the version block, never the handle.
  CZELFile(const CZELFile &other);
  CZELFile &operator=(const CZELFile &other);
  ~CZELFile();

  bool setFilename(const CZELWCharString &strFilename);
  const CZELWCharString &getFilename() const { return m_strFilename; }
  bool isOpen() const;

  // ---- Existence ----------------------------------------------------------------
  bool isValidFile();
  // Whether a search for the path finds anything: a folder, or any match of
  // a wildcard pattern, counts.
  static bool isValidWindowsFile(const CZELWCharString &strPath);
  static bool isValidWindowsDirectory(const CZELWCharString &strPath);

  // ---- Opening and closing ----------------------------------------------------------
  bool openWindows(const CZELWCharString &strPath, ZEL_ULONG ulMode);
  bool open(const CZELWCharString &strPath, ZEL_ULONG ulMode);
  bool open(ZEL_ULONG ulMode);
  bool close();

  // ---- Reading and writing ------------------------------------------------------------
  bool write(const CZELBuffer<ZEL_BYTE> &buffer);
  // ulCount 0 reads the whole file. Unless bKeepMark, a first byte 0xFF is
  // taken as a UTF-16LE byte-order mark and left out.
  bool read(CZELBuffer<ZEL_BYTE> &out, ZEL_ULONG ulCount, bool bKeepMark);

  // ---- Version resource ---------------------------------------------------------------
  bool getVersionInfoBuffer();
  bool getFileInfoItem(const CZELWCharString &strItem, CZELWCharString &strOut);
  bool getCompanyName(CZELWCharString &strOut);
  bool getFileVersion(CZELWCharString &strOut);
  bool getComments(CZELWCharString &strOut);
  bool getInternalName(CZELWCharString &strOut);
  bool getLegalTrademarks(CZELWCharString &strOut);
  bool getOriginalFilename(CZELWCharString &strOut);
  bool getPrivateBuildDescription(CZELWCharString &strOut);
  bool getProductName(CZELWCharString &strOut);
  bool getProductVersion(CZELWCharString &strOut);
  bool getSpecialBuildDescription(CZELWCharString &strOut);
  bool getLegalCopyright(CZELWCharString &strOut);
  bool getFileDescription(CZELWCharString &strOut);
  bool getVersion(CZELWCharString &strOut);
  // Tests the file only; no language is produced.
  bool getLanguage();

private:
  // Throws the logged CZELInvalidFileException when the file does not exist.
  void requireValidFile(ZEL_ULONG ulLine);
  bool getItemOfValidFile(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, const ZEL_USHORT *pszItem,
                          CZELWCharString &strOut);
  void readInto(ZEL_BYTE *pData, ZEL_ULONG ulCount);

  zelsys::HANDLE m_hFile;
  CZELWCharString m_strFilename;
  CZELBuffer<ZEL_BYTE> m_bufVersionInfo;
};
