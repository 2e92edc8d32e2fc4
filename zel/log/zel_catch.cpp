// zel_catch.cpp - the catch-all handler of the framework's catch sites.
#include "zel_catch.h"

#include "zelsys/kernel.h"

#include <cerrno>

void zelLogUnhandled(CZELErrorSource eSource, const ZEL_USHORT *pszSourceFile,
                     ZEL_ULONG ulLine) noexcept {
  ZEL_LONG lError = -1;
  if (eSource == CZELErrorSource::esErrno)
    lError = errno;
  else if (eSource == CZELErrorSource::esLastError)
    lError = static_cast<ZEL_LONG>(zelsys::GetLastError());
  CZELUnhandledExceptionException(lError, pszSourceFile, ulLine, 1, true, false);
}
