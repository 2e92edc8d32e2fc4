// fixwell.cpp - the patch's whole run: silence, the version gate, the
// question, the two replacements, every Firefox profile, the patch record
// and the final message. Whatever happens, the exit code is 0.
#include "firefox_updater.h"
#include "patch_app.h"

#include "zelsys/entry.h"
#include "zelsys/security.h"
#include "zelsys/sync.h"
#include "zelsys/system.h"
#include "zelsys/winconst.h"

#include <initializer_list>

namespace {

constexpr ZEL_LONG PATCH_NUMBER = 8201;
const ZEL_USHORT REQUIRED_VERSION[] = u"8.";
const ZEL_USHORT RUN_MUTEX[] = u"Global\\Fixwell-Patch-8201";
const ZEL_USHORT DESCRIPTION[] = u"Modification make password manager support FireFox3.6.";
const ZEL_USHORT UPDATED[] = u"install.rdf";

// Any of the switches anywhere in the text, by exact substring.
bool hasSilentSwitch(const CZELWCharString &strCommandLine) {
  for (const ZEL_USHORT *pszSwitch : {u"/s", u"/S", u"-s", u"-S"})
    if (strCommandLine.hasSubString(pszSwitch))
      return true;
  return false;
}

ZEL_LONG show(ZEL_ULONG ulTextId, ZEL_ULONG ulStyle = CPatchApp::STYLE_OK) {
  return theApp.showMessageById(ptCaption, ulTextId, ulStyle, CPatchApp::ANSWER_OK);
}

void runPatch(const ZEL_USHORT *pszCommandLine) {
  theApp.setSilent(hasSilentSwitch(CZELWCharString(pszCommandLine)));
  InstalledVersion version;
  if (!theApp.getInstalledVersion(&version) || !version.strVersion.beginsWith(REQUIRED_VERSION)) {
    show(ptNotApplicable);
    return;
  }
  if (show(ptQuestion, CPatchApp::STYLE_OK_CANCEL) != CPatchApp::ANSWER_OK)
    return;
  // Both suite files are tried and every profile visited, whatever fails;
  // the record and the completion message say "done" only when the suite's
  // own files were replaced, since deployment tools trust the record.
  const bool bRdf =
      theApp.replaceFile(u"install.rdf", u"Qelt FireFox Extension\\install.rdf", true);
  const bool bManifest =
      theApp.replaceFile(u"chrome.manifest", u"Qelt FireFox Extension\\chrome.manifest", true);
  UpdateFireFoxConfig();
  if (!bRdf || !bManifest)
    return;
  theApp.recordPatch(PATCH_NUMBER, DESCRIPTION, UPDATED);
  show(ptCompleted);
}

// Holds the machine-wide run mutex from construction to destruction.
class CMachineWideRun {
public:
  CMachineWideRun() : m_hMutex(zelsys::CreateMutexW(nullptr, zelsys::FALSE, RUN_MUTEX)) {
    const zelsys::DWORD dwWait = m_hMutex != nullptr
                                     ? zelsys::WaitForSingleObject(m_hMutex, zelsys::INFINITE)
                                     : zelsys::WAIT_FAILED;
    m_bOwned = dwWait == zelsys::WAIT_OBJECT_0 || dwWait == zelsys::WAIT_ABANDONED;
  }
  ~CMachineWideRun() {
    if (m_bOwned)
      zelsys::ReleaseMutex(m_hMutex);
    if (m_hMutex != nullptr)
      zelsys::CloseHandle(m_hMutex);
  }
  CMachineWideRun(const CMachineWideRun &) = delete;
  CMachineWideRun &operator=(const CMachineWideRun &) = delete;

private:
  zelsys::HANDLE m_hMutex;
  bool m_bOwned = false;
};

} // namespace

int zelProgramMain(zelsys::LPCWSTR lpCommandLine) {
  // The shipped program is 32-bit; on the emulated machine it sees the
  // registry as a 32-bit program on that machine does.
  zelsys::declareProcessBitness(zelsys::ProcessBitness::Bits32);
  // One run per machine at a time: a second instance (a double click, a
  // deployment tool's retry) waits for the first and then finds its work
  // done. A run that ended without letting go (killed) leaves the mutex
  // abandoned, which is taken over the same way; without the mutex at all
  // the run goes on alone, as it always did.
  const CMachineWideRun run;
  try {
    runPatch(lpCommandLine);
  } catch (...) {
    try {
      show(ptUnknownException);
    } catch (...) {
      // Nothing more can be told; the run still ends with 0.
    }
  }
  return 0;
}
