// zelverify.cpp - zelverify, a console tool that checks a file's
// Authenticode signature through the framework (CZELSignedFile): the
// platform's trust verification on Windows, the substitute's own check
// against the emulated machine's trusted roots on Linux.
//   zelverify <file> [<signer>]
// Prints one line and exits 0 when the file is validly signed (by a
// certificate of that display name, when given), 1 when it is not, 2 for
// bad arguments.
#include "zel_wchar_string.h"
#include "zel_windows_signedfile.h"

#include "zelsys/entry.h"

#include <cstdio>

int zelConsoleMain(int argc, const zelsys::LPCWSTR *argv) {
  if (argc < 2 || argc > 3) {
    std::fputs("usage: zelverify <file> [<signer>]\n", stderr);
    return 2;
  }
  bool bValid = false;
  try {
    CZELSignedFile file;
    file.setFilename(CZELWCharString(argv[1]));
    file.verifySignature(CZELWCharString(argc == 3 ? argv[2] : u""), bValid);
  } catch (...) {
    bValid = false;
  }
  std::puts(bValid ? (argc == 3 ? "valid signature of the named signer" : "valid signature")
                   : "not validly signed");
  return bValid ? 0 : 1;
}
