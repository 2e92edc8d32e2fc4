// zel_windows_signedfile.h - CZELSignedFile, a file whose Authenticode
// signature the platform's trust verification checks.
//
// verifySignature asks the platform whether the file's signature is valid and
// its chain trusted; given a signer name it also reads the signer's
// certificate and compares its display name, ignoring letter case.
// verifyAndLoadDLL loads a library only after that check has passed. Failures
// are written as log entries and give false; only a foreign exception leaves
// an operation.
#pragma once

#include "zel_file.h"
#include "zel_wchar_string.h"

#include "zelsys/wintypes.h"

class CZELSignedFile : public CZELFile {
public:
  CZELSignedFile() = default;
  // Throws CZELSignedFileInitException when the file does not exist.
  explicit CZELSignedFile(const CZELWCharString &strFilename);

  // Whether the path names an existing file; a missing one is logged.
  bool initialize();

  // True when the check could be made; bValid tells whether the file is
  // validly signed (by strSigner, when that is not empty). The name compared
  // is the certificate of the signer itself, matched by issuer and serial
  // number, not whatever certificate the signature happens to carry first.
  bool verifySignature(const CZELWCharString &strSigner, bool &bValid);

  // verifySignature, then, for a validly signed file, loads it as a library
  // with its own folder searched first. hModule is null unless it was loaded.
  bool verifyAndLoadDLL(const CZELWCharString &strSigner, zelsys::HMODULE &hModule);

private:
  // Raises CZELSignedFileInvalidFileException for a missing file.
  void requireSignedFile(ZEL_ULONG ulLine);
  // The display name of the signer's certificate.
  CZELWCharString signerName();
};
