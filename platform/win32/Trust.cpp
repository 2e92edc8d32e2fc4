//===- Trust.cpp - Signature trust and certificates on Windows -------------===//
//
// Forwards to wintrust and crypt32. The records are Windows' own layout, so
// they pass through unchanged; the trust record is copied into the system's
// (newer, larger) definition with the caller's cbStruct, which tells the
// system which fields there are. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/trust.h"
#include "WindowsSupport.h"

#include <cstddef>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

namespace zelsys {

static_assert(sizeof(::GUID) == sizeof(GUID), "GUID size");
static_assert(sizeof(::CERT_INFO) == sizeof(CERT_INFO), "CERT_INFO size");
static_assert(offsetof(::CERT_INFO, Issuer) == offsetof(CERT_INFO, Issuer), "CERT_INFO layout");
static_assert(offsetof(::CERT_INFO, SerialNumber) == offsetof(CERT_INFO, SerialNumber),
              "CERT_INFO layout");
static_assert(offsetof(::CERT_INFO, cExtension) == offsetof(CERT_INFO, cExtension),
              "CERT_INFO layout");
static_assert(sizeof(::CERT_CONTEXT) == sizeof(CERT_CONTEXT), "CERT_CONTEXT size");
static_assert(offsetof(::CERT_CONTEXT, hCertStore) == offsetof(CERT_CONTEXT, hCertStore),
              "CERT_CONTEXT layout");
static_assert(sizeof(::WINTRUST_FILE_INFO) == sizeof(WINTRUST_FILE_INFO), "file record size");
static_assert(sizeof(WINTRUST_DATA) == 48, "the trust record as Windows XP defines it");

LONG WinVerifyTrust(HANDLE hWnd, const GUID *pgActionID, LPVOID pWVTData) {
  auto *data = static_cast<const WINTRUST_DATA *>(pWVTData);
  if (data == nullptr || data->dwUnionChoice != WTD_CHOICE_FILE || data->pFile == nullptr)
    return ::WinVerifyTrust(static_cast<::HWND>(hWnd),
                            const_cast<::GUID *>(reinterpret_cast<const ::GUID *>(pgActionID)),
                            pWVTData);
  ::WINTRUST_FILE_INFO file{};
  file.cbStruct = data->pFile->cbStruct;
  file.pcwszFilePath = win32::wide(data->pFile->pcwszFilePath);
  file.hFile = data->pFile->hFile;
  file.pgKnownSubject =
      const_cast<::GUID *>(reinterpret_cast<const ::GUID *>(data->pFile->pgKnownSubject));
  ::WINTRUST_DATA trust{};
  trust.cbStruct = data->cbStruct;
  trust.pPolicyCallbackData = data->pPolicyCallbackData;
  trust.pSIPClientData = data->pSIPClientData;
  trust.dwUIChoice = data->dwUIChoice;
  trust.fdwRevocationChecks = data->fdwRevocationChecks;
  trust.dwUnionChoice = data->dwUnionChoice;
  trust.pFile = &file;
  trust.dwStateAction = data->dwStateAction;
  trust.hWVTStateData = data->hWVTStateData;
  trust.pwszURLReference = win32::wide(data->pwszURLReference);
  trust.dwProvFlags = data->dwProvFlags;
  trust.dwUIContext = data->dwUIContext;
  return ::WinVerifyTrust(static_cast<::HWND>(hWnd),
                          const_cast<::GUID *>(reinterpret_cast<const ::GUID *>(pgActionID)),
                          &trust);
}

BOOL CryptQueryObject(DWORD dwObjectType, const void *pvObject, DWORD dwExpectedContentTypeFlags,
                      DWORD dwExpectedFormatTypeFlags, DWORD dwFlags,
                      DWORD *pdwMsgAndCertEncodingType, DWORD *pdwContentType, DWORD *pdwFormatType,
                      HCERTSTORE *phCertStore, HCRYPTMSG *phMsg, const void **ppvContext) {
  return ::CryptQueryObject(
      dwObjectType, pvObject, dwExpectedContentTypeFlags, dwExpectedFormatTypeFlags, dwFlags,
      reinterpret_cast<::DWORD *>(pdwMsgAndCertEncodingType),
      reinterpret_cast<::DWORD *>(pdwContentType), reinterpret_cast<::DWORD *>(pdwFormatType),
      phCertStore, phMsg, ppvContext);
}

BOOL CryptMsgGetParam(HCRYPTMSG hCryptMsg, DWORD dwParamType, DWORD dwIndex, void *pvData,
                      DWORD *pcbData) {
  return ::CryptMsgGetParam(hCryptMsg, dwParamType, dwIndex, pvData,
                            reinterpret_cast<::DWORD *>(pcbData));
}

BOOL CryptMsgClose(HCRYPTMSG hCryptMsg) { return ::CryptMsgClose(hCryptMsg); }

PCCERT_CONTEXT CertFindCertificateInStore(HCERTSTORE hCertStore, DWORD dwCertEncodingType,
                                          DWORD dwFindFlags, DWORD dwFindType,
                                          const void *pvFindPara, PCCERT_CONTEXT pPrevCertContext) {
  return reinterpret_cast<PCCERT_CONTEXT>(::CertFindCertificateInStore(
      hCertStore, dwCertEncodingType, dwFindFlags, dwFindType, pvFindPara,
      reinterpret_cast<::PCCERT_CONTEXT>(pPrevCertContext)));
}

BOOL CertFreeCertificateContext(PCCERT_CONTEXT pCertContext) {
  return ::CertFreeCertificateContext(reinterpret_cast<::PCCERT_CONTEXT>(pCertContext));
}

DWORD CertGetNameStringW(PCCERT_CONTEXT pCertContext, DWORD dwType, DWORD dwFlags, void *pvTypePara,
                         LPWSTR pszNameString, DWORD cchNameString) {
  return ::CertGetNameStringW(reinterpret_cast<::PCCERT_CONTEXT>(pCertContext), dwType, dwFlags,
                              pvTypePara, win32::wide(pszNameString), cchNameString);
}

BOOL CertCloseStore(HCERTSTORE hCertStore, DWORD dwFlags) {
  return ::CertCloseStore(hCertStore, dwFlags);
}

} // namespace zelsys
