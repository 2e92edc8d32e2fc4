// fixwell.cpp - the patch's whole run: silence, the version gate, the
// question, the two replacements, every Firefox profile, the patch record
// and the final message. Whatever happens, the exit code is 0.
#include "firefox_updater.h"
#include "patch_app.h"

#include "zelsys/entry.h"
#include "zelsys/system.h"

#include <initializer_list>

namespace {

constexpr ZEL_LONG PATCH_NUMBER = 8201;
const ZEL_USHORT REQUIRED_VERSION[] = u"8.";
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
  theApp.replaceFile(u"install.rdf", u"Qelt FireFox Extension\\install.rdf", true);
  theApp.replaceFile(u"chrome.manifest", u"Qelt FireFox Extension\\chrome.manifest", true);
  UpdateFireFoxConfig();
  theApp.recordPatch(PATCH_NUMBER, DESCRIPTION, UPDATED);
  show(ptCompleted);
}

} // namespace

int zelProgramMain(zelsys::LPCWSTR lpCommandLine) {
  // The shipped program is 32-bit; on the emulated machine it sees the
  // registry as a 32-bit program on that machine does.
  zelsys::declareProcessBitness(zelsys::ProcessBitness::Bits32);
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
