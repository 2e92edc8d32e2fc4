// patch_app.h - CPatchApp, the patch program's one application object, and
// the services the patch flow and the Firefox updater share.
//
// Every service except the two message-box ones runs its body under a
// catch-all and answers false (or its default) on any failure; the framework
// classes have logged what went wrong by then. The message-box services leave
// failures to their callers, whose catch-all is the last net.
#pragma once

#include "file_placement.h"

#include "zel_buffer.h"
#include "zel_wchar_string.h"

// The installed suite's version as read from its registry record.
struct InstalledVersion {
  CZELWCharString strVersion; // exactly as stored
  ZEL_LONG lMajorMinor = 0;   // first and second fields joined: 8.0.1 gives 80
  ZEL_LONG lBuild = 0;        // third field: 8.0.1 gives 1
};

// The string-table ids the program uses.
enum PatchText : ZEL_ULONG {
  ptAppTitle = 103,
  ptAppClass = 109,
  ptQuestion = 120,
  ptWrongSystem = 1120,
  ptUpdateFailed = 1121,
  ptTerminate = 1122,
  ptNotApplicable = 1130,
  ptCaption = 1140,
  ptCompleted = 1160,
  ptAlreadyInstalled = 1170,
  ptNotInstalled = 1180,
  ptUnknownException = 1200,
};

class CPatchApp {
public:
  // Message-box styles and answers as MessageBoxW knows them.
  static constexpr ZEL_ULONG STYLE_OK = 0;
  static constexpr ZEL_ULONG STYLE_OK_CANCEL = 1;
  static constexpr ZEL_LONG ANSWER_OK = 1;

  // Silent off; the patch log is "patchlog<number>.txt".
  explicit CPatchApp(ZEL_LONG lPatchNumber);

  bool setSilent(bool bSilent);
  bool isSilent() const { return m_bSilent != 0; }

  // Fills *pVersion from the suite's record; false (and *pVersion
  // untouched) when the suite or its version cannot be read.
  bool getInstalledVersion(InstalledVersion *pVersion);
  // An absolute path (holding ":\") as it is; otherwise the suite's install
  // directory followed by strPath, no separator added. When the directory
  // cannot be read, strOut keeps what it held.
  bool resolvePath(const CZELWCharString &strPath, CZELWCharString &strOut);
  // Appends one record to the patch log in the install directory.
  bool appendToPatchLog(const CZELWCharString &strRecord);

  // Show a box (or, when silent, take lSilentDefault) and log the answer.
  ZEL_LONG showMessage(const CZELWCharString &strCaption, const CZELWCharString &strText,
                       ZEL_ULONG ulStyle, ZEL_LONG lSilentDefault);
  ZEL_LONG showMessageById(ZEL_ULONG ulCaptionId, ZEL_ULONG ulTextId, ZEL_ULONG ulStyle,
                           ZEL_LONG lSilentDefault);
  ZEL_LONG showStatusMessage(ZEL_ULONG ulKind, ZEL_ULONG ulStyle, ZEL_LONG lSilentDefault);

  // Replaces the destination (resolved like resolvePath, but failing when a
  // relative one finds no install directory; empty: the source's file name)
  // with the source (beside the program unless absolute), keeping a copy of
  // the old file with ".bak" appended when bBackup is set (placeFileBelow).
  // A destination that already holds the source's bytes is left as it is.
  bool replaceFile(const CZELWCharString &strSource, const CZELWCharString &strDestination,
                   bool bBackup);
  // The same for strName inside a folder held open; a failure is shown and
  // logged as replaceFile's.
  bool replaceFileIn(const CZELWCharString &strSourcePath, const CHeldFolder &folder,
                     const CZELWCharString &strName, bool bBackup);
  // One line in the patch log: text 1121 with the path, and the system
  // error.
  bool logFailure(const CZELWCharString &strPath, zelsys::DWORD dwError);
  // Writes "description" and "updated" under the suite's key + "\Patch\" +
  // the patch number.
  bool recordPatch(ZEL_LONG lPatchNumber, const CZELWCharString &strDescription,
                   const CZELWCharString &strUpdated);

private:
  ZEL_LONG m_bSilent;
  CZELWCharString m_strLogFileName;
};

// The low eight bits of each character, in order; no terminator.
CZELBuffer<ZEL_BYTE> toByteBuffer(const CZELWCharString &strText);

// The path up to and including its last "\"; empty when it has none.
CZELWCharString folderOf(const CZELWCharString &strPath);

// The program's own folder, ending with "\"; empty when it cannot be had.
CZELWCharString programFolder();

// A text of the program's string table (empty when the id is missing).
CZELWCharString loadPatchText(ZEL_ULONG ulId);

// The process-wide application object, built before the entry point runs.
extern CPatchApp theApp;
