// zel_windows_signedfile.cpp - CZELSignedFile.
//
// The trust check comes first and decides alone whether the file is validly
// signed; only when a signer is named is the signature opened again as a
// certificate store, and then the name read is that of the certificate the
// signer info points at (issuer and serial number). Taking the store's first
// certificate instead would let anyone whose own signature is trusted append
// a copy of another publisher's certificate and pass for that publisher.
#include "zel_windows_signedfile.h"

#include "zel_catch.h"
#include "zel_exceptions.h"
#include "zel_function_trace.h"
#include "zelsys/kernel.h"
#include "zelsys/system.h"
#include "zelsys/trust.h"
#include "zelsys/winconst.h"

namespace {

const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_windows_signedfile";

const ZEL_USHORT *pathText(const CZELWCharString &strPath) {
  return strPath.getBuffer() != nullptr ? strPath.getBuffer() : u"";
}

// Verifies with no window, no revocation checks and no state kept.
zelsys::LONG verifyTrust(const CZELWCharString &strPath) {
  zelsys::WINTRUST_FILE_INFO file{sizeof(zelsys::WINTRUST_FILE_INFO), pathText(strPath), nullptr,
                                  nullptr};
  zelsys::WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = zelsys::WTD_UI_NONE;
  data.fdwRevocationChecks = zelsys::WTD_REVOKE_NONE;
  data.dwUnionChoice = zelsys::WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = zelsys::WTD_STATEACTION_IGNORE;
  data.dwProvFlags = zelsys::WTD_REVOCATION_CHECK_NONE;
  return zelsys::WinVerifyTrust(nullptr, &zelsys::WINTRUST_ACTION_GENERIC_VERIFY_V2, &data);
}

[[noreturn]] void raiseTrust(zelsys::LONG lResult, ZEL_ULONG ulLine) {
  switch (lResult) {
  case zelsys::TRUST_E_BAD_DIGEST:
    throw CBadDigestException(lResult, ZEL_SOURCE, ulLine, 1, true, false);
  case zelsys::TRUST_E_NOSIGNATURE:
    throw CNoSignatureException(lResult, ZEL_SOURCE, ulLine, 1, true, false);
  case zelsys::CRYPT_E_FILE_ERROR:
    throw CSignatureFileErrorException(lResult, ZEL_SOURCE, ulLine, 1, true, false);
  default:
    throw CWinVerifyTrustException(lResult, ZEL_SOURCE, ulLine, 1, true, false);
  }
}

[[noreturn]] void raiseCertQuery(ZEL_ULONG ulLine) {
  throw CCertQueryException(static_cast<ZEL_LONG>(zelsys::GetLastError()), ZEL_SOURCE, ulLine, 1,
                            true, false);
}

// The file's signature opened as a store and a message, both closed on
// every way out.
class CZELSignatureQuery {
public:
  explicit CZELSignatureQuery(const CZELWCharString &strPath) {
    zelsys::DWORD dwEncoding = 0;
    zelsys::DWORD dwContent = 0;
    zelsys::DWORD dwFormat = 0;
    if (!zelsys::CryptQueryObject(zelsys::CERT_QUERY_OBJECT_FILE, pathText(strPath),
                                  zelsys::CERT_QUERY_CONTENT_FLAG_ALL,
                                  zelsys::CERT_QUERY_FORMAT_FLAG_ALL, 0, &dwEncoding, &dwContent,
                                  &dwFormat, &m_hStore, &m_hMsg, nullptr))
      raiseCertQuery(__LINE__);
  }
  ~CZELSignatureQuery() {
    if (m_hMsg != nullptr)
      zelsys::CryptMsgClose(m_hMsg);
    if (m_hStore != nullptr)
      zelsys::CertCloseStore(m_hStore, zelsys::CERT_CLOSE_STORE_FORCE_FLAG);
  }
  CZELSignatureQuery(const CZELSignatureQuery &) = delete;
  CZELSignatureQuery &operator=(const CZELSignatureQuery &) = delete;

  // The certificate of the message's first signer; it lives as long as the store.
  zelsys::PCCERT_CONTEXT signerCertificate() const {
    zelsys::DWORD cbInfo = 0;
    if (!zelsys::CryptMsgGetParam(m_hMsg, zelsys::CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &cbInfo))
      raiseCertQuery(__LINE__);
    CZELBuffer<ZEL_BYTE> bufInfo(cbInfo);
    if (!zelsys::CryptMsgGetParam(m_hMsg, zelsys::CMSG_SIGNER_CERT_INFO_PARAM, 0,
                                  bufInfo.getBuffer(), &cbInfo))
      raiseCertQuery(__LINE__);
    const zelsys::PCCERT_CONTEXT pCert = zelsys::CertFindCertificateInStore(
        m_hStore, zelsys::X509_ASN_ENCODING | zelsys::PKCS_7_ASN_ENCODING, 0,
        zelsys::CERT_FIND_SUBJECT_CERT, bufInfo.getBuffer(), nullptr);
    if (pCert == nullptr)
      raiseCertQuery(__LINE__);
    return pCert;
  }

private:
  zelsys::HCERTSTORE m_hStore = nullptr;
  zelsys::HCRYPTMSG m_hMsg = nullptr;
};

// A string to compare without regard to letter case.
CZELWCharString upperCase(const CZELWCharString &strText) {
  CZELWCharString strUpper(strText);
  strUpper.toUpper();
  return strUpper;
}

} // namespace

CZELSignedFile::CZELSignedFile(const CZELWCharString &strFilename) : CZELFile(strFilename) {
  if (!initialize())
    throw CZELSignedFileInitException(ZEL_SOURCE, __LINE__, 1, true, false);
}

bool CZELSignedFile::initialize() {
  CZELFunctionTrace trace(u"CZELSignedFile", u"initialize", ZEL_SOURCE, __LINE__);
  const bool bResult = zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esNone, [&] {
    requireSignedFile(__LINE__);
    return true;
  });
  trace.setResult(bResult);
  return bResult;
}

bool CZELSignedFile::verifySignature(const CZELWCharString &strSigner, bool &bValid) {
  CZELFunctionTrace trace(u"CZELSignedFile", u"verifySignature", ZEL_SOURCE, __LINE__);
  bValid = false;
  const bool bResult = zelAbsorbLogged(ZEL_SOURCE, __LINE__, CZELErrorSource::esNone, [&] {
    requireSignedFile(__LINE__);
    const zelsys::LONG lTrust = verifyTrust(getFilename());
    if (lTrust != 0)
      raiseTrust(lTrust, __LINE__);
    bValid = strSigner.getLength() == 0 || upperCase(signerName()) == upperCase(strSigner);
    return true;
  });
  trace.setResult(bResult);
  return bResult;
}

bool CZELSignedFile::verifyAndLoadDLL(const CZELWCharString &strSigner, zelsys::HMODULE &hModule) {
  CZELFunctionTrace trace(u"CZELSignedFile", u"verifyAndLoadDLL", ZEL_SOURCE, __LINE__);
  hModule = nullptr;
  const bool bResult = zelAbsorbLogged(ZEL_SOURCE, __LINE__, CZELErrorSource::esNone, [&] {
    requireSignedFile(__LINE__);
    bool bValid = false;
    const bool bVerified = verifySignature(strSigner, bValid);
    if (bVerified && bValid)
      hModule = zelsys::LoadLibraryExW(pathText(getFilename()), nullptr,
                                       zelsys::LOAD_WITH_ALTERED_SEARCH_PATH);
    return bVerified;
  });
  trace.setResult(bResult);
  return bResult;
}

void CZELSignedFile::requireSignedFile(ZEL_ULONG ulLine) {
  if (!isValidFile())
    throw CZELSignedFileInvalidFileException(pathText(getFilename()), ZEL_SOURCE, ulLine, 1, true,
                                             false);
}

CZELWCharString CZELSignedFile::signerName() {
  const CZELSignatureQuery query(getFilename());
  const zelsys::PCCERT_CONTEXT pCert = query.signerCertificate();
  const zelsys::DWORD cchName = zelsys::CertGetNameStringW(
      pCert, zelsys::CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
  if (cchName == 0)
    raiseCertQuery(__LINE__);
  CZELBuffer<ZEL_USHORT> bufName(cchName);
  const zelsys::DWORD cchGot = zelsys::CertGetNameStringW(
      pCert, zelsys::CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, bufName.getBuffer(), cchName);
  if (cchGot == 0 || (cchGot == 1 && bufName.getBuffer()[0] == 0))
    raiseCertQuery(__LINE__);
  return CZELWCharString(bufName.getBuffer());
}
