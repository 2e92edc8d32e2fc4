//===- zelsys/trust.h - Signature trust and the signer's certificate ------===//
//
// Authenticode verification of a file and the certificate calls that name its
// signer, with Windows' names, records, results and error behaviour. The
// records keep Windows' field order, so a 32-bit build passes them to the
// system unchanged.
//
// On the substitute the check is done in full over the file's bytes: the PE
// certificate table, the PKCS#7 signature, the image digest computed the
// Authenticode way, the signer's signature, and the signer's chain against
// the machine's trusted roots. Those roots live where Windows keeps the local
// machine's: one key per certificate under
//   HKLM\SOFTWARE\Microsoft\SystemCertificates\ROOT\Certificates\<SHA-1>
// whose "Blob" value is the serialized certificate (a property record 0x20,
// 1, length, then the certificate's DER bytes). Revocation is never checked.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

namespace zelsys {

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};

// The policy that checks an Authenticode signature and its chain.
inline constexpr GUID WINTRUST_ACTION_GENERIC_VERIFY_V2 = {
    0x00AAC56B, 0xCD44, 0x11D0, {0x8C, 0xC2, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};

struct WINTRUST_FILE_INFO {
  DWORD cbStruct;
  LPCWSTR pcwszFilePath;
  HANDLE hFile;
  const GUID *pgKnownSubject;
};

// The record as Windows XP defines it (48 bytes in a 32-bit program).
struct WINTRUST_DATA {
  DWORD cbStruct;
  LPVOID pPolicyCallbackData;
  LPVOID pSIPClientData;
  DWORD dwUIChoice;
  DWORD fdwRevocationChecks;
  DWORD dwUnionChoice;
  WINTRUST_FILE_INFO *pFile;
  DWORD dwStateAction;
  HANDLE hWVTStateData;
  LPWSTR pwszURLReference;
  DWORD dwProvFlags;
  DWORD dwUIContext;
};

constexpr DWORD WTD_UI_NONE = 2;
constexpr DWORD WTD_REVOKE_NONE = 0;
constexpr DWORD WTD_CHOICE_FILE = 1;
constexpr DWORD WTD_STATEACTION_IGNORE = 0;
constexpr DWORD WTD_REVOCATION_CHECK_NONE = 0x10;

// Results of WinVerifyTrust (HRESULTs, as LONG).
constexpr LONG TRUST_E_SUBJECT_FORM_UNKNOWN = static_cast<LONG>(0x800B0003);
constexpr LONG TRUST_E_PROVIDER_UNKNOWN = static_cast<LONG>(0x800B0001);
constexpr LONG TRUST_E_ACTION_UNKNOWN = static_cast<LONG>(0x800B0002);
constexpr LONG TRUST_E_NOSIGNATURE = static_cast<LONG>(0x800B0100);
constexpr LONG TRUST_E_BAD_DIGEST = static_cast<LONG>(0x80096010);
constexpr LONG CRYPT_E_FILE_ERROR = static_cast<LONG>(0x80092003);
constexpr LONG CERT_E_EXPIRED = static_cast<LONG>(0x800B0101);
constexpr LONG CERT_E_UNTRUSTEDROOT = static_cast<LONG>(0x800B0109);
constexpr LONG CERT_E_CHAINING = static_cast<LONG>(0x800B010A);
constexpr LONG TRUST_E_FAIL = static_cast<LONG>(0x800B010B);
constexpr LONG CERT_E_WRONG_USAGE = static_cast<LONG>(0x800B0110);
constexpr LONG TRUST_E_CERT_SIGNATURE = static_cast<LONG>(0x80096004);

// 0 when the file's signature is valid and its chain ends in a trusted root;
// otherwise the reason. hWnd is ignored (no window is ever shown). The
// substitute accepts only WINTRUST_ACTION_GENERIC_VERIFY_V2 with a file
// choice and no state action, and a file named by path.
LONG WinVerifyTrust(HANDLE hWnd, const GUID *pgActionID, LPVOID pWVTData);

using HCERTSTORE = void *;
using HCRYPTMSG = void *;

struct CRYPT_INTEGER_BLOB {
  DWORD cbData;
  BYTE *pbData;
};
using CERT_NAME_BLOB = CRYPT_INTEGER_BLOB;

// Only what CMSG_SIGNER_CERT_INFO_PARAM fills and CERT_FIND_SUBJECT_CERT
// reads; the fields between keep their place so the record matches Windows'.
struct CRYPT_ALGORITHM_IDENTIFIER {
  char *pszObjId;
  CRYPT_INTEGER_BLOB Parameters;
};
struct CRYPT_BIT_BLOB {
  DWORD cbData;
  BYTE *pbData;
  DWORD cUnusedBits;
};
struct CERT_PUBLIC_KEY_INFO {
  CRYPT_ALGORITHM_IDENTIFIER Algorithm;
  CRYPT_BIT_BLOB PublicKey;
};
struct CERT_INFO {
  DWORD dwVersion;
  CRYPT_INTEGER_BLOB SerialNumber;
  CRYPT_ALGORITHM_IDENTIFIER SignatureAlgorithm;
  CERT_NAME_BLOB Issuer;
  FILETIME NotBefore;
  FILETIME NotAfter;
  CERT_NAME_BLOB Subject;
  CERT_PUBLIC_KEY_INFO SubjectPublicKeyInfo;
  CRYPT_BIT_BLOB IssuerUniqueId;
  CRYPT_BIT_BLOB SubjectUniqueId;
  DWORD cExtension;
  LPVOID rgExtension;
};

// The substitute fills the encoding and the DER bytes; pCertInfo is null.
struct CERT_CONTEXT {
  DWORD dwCertEncodingType;
  BYTE *pbCertEncoded;
  DWORD cbCertEncoded;
  CERT_INFO *pCertInfo;
  HCERTSTORE hCertStore;
};
using PCCERT_CONTEXT = const CERT_CONTEXT *;

constexpr DWORD X509_ASN_ENCODING = 1;
constexpr DWORD PKCS_7_ASN_ENCODING = 0x10000;
constexpr DWORD CERT_QUERY_OBJECT_FILE = 1;
constexpr DWORD CERT_QUERY_CONTENT_FLAG_ALL = 0x3FFE;
constexpr DWORD CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED = 1u << 10;
constexpr DWORD CERT_QUERY_CONTENT_PKCS7_SIGNED_EMBED = 10;
constexpr DWORD CERT_QUERY_FORMAT_FLAG_ALL = 14;
constexpr DWORD CERT_QUERY_FORMAT_BINARY = 1;
constexpr DWORD CMSG_SIGNER_CERT_INFO_PARAM = 7;
constexpr DWORD CERT_FIND_ANY = 0;
constexpr DWORD CERT_FIND_SUBJECT_CERT = 0xB0000;
constexpr DWORD CERT_NAME_SIMPLE_DISPLAY_TYPE = 4;
constexpr DWORD CERT_NAME_ISSUER_FLAG = 1;
constexpr DWORD CERT_CLOSE_STORE_FORCE_FLAG = 1;
constexpr DWORD CRYPT_E_NO_MATCH = 0x80092009;
constexpr DWORD CRYPT_E_NOT_FOUND = 0x80092004;
constexpr DWORD CRYPT_E_INVALID_MSG_TYPE = 0x80091004;
constexpr DWORD CRYPT_E_NO_SIGNER = 0x8009200E;

// Opens a file's embedded signature as a certificate store and a message.
// The substitute reads only a file (CERT_QUERY_OBJECT_FILE) whose content is
// an embedded PKCS#7 signature: any other file fails with
// CRYPT_E_NO_MATCH, a missing one with its file error. ppvContext must be null.
BOOL CryptQueryObject(DWORD dwObjectType, const void *pvObject, DWORD dwExpectedContentTypeFlags,
                      DWORD dwExpectedFormatTypeFlags, DWORD dwFlags,
                      DWORD *pdwMsgAndCertEncodingType, DWORD *pdwContentType, DWORD *pdwFormatType,
                      HCERTSTORE *phCertStore, HCRYPTMSG *phMsg, const void **ppvContext);

// The two-call size protocol: a null pvData asks for the size. The
// substitute knows only CMSG_SIGNER_CERT_INFO_PARAM: a CERT_INFO whose
// Issuer and SerialNumber point into the same buffer.
BOOL CryptMsgGetParam(HCRYPTMSG hCryptMsg, DWORD dwParamType, DWORD dwIndex, void *pvData,
                      DWORD *pcbData);
BOOL CryptMsgClose(HCRYPTMSG hCryptMsg);

// CERT_FIND_ANY gives the certificates in the message's order;
// CERT_FIND_SUBJECT_CERT the one with the CERT_INFO's issuer and serial
// number. The previous context passed in is freed; CRYPT_E_NOT_FOUND at the end.
PCCERT_CONTEXT CertFindCertificateInStore(HCERTSTORE hCertStore, DWORD dwCertEncodingType,
                                          DWORD dwFindFlags, DWORD dwFindType,
                                          const void *pvFindPara, PCCERT_CONTEXT pPrevCertContext);
BOOL CertFreeCertificateContext(PCCERT_CONTEXT pCertContext);

// The characters written with the terminator (or needed, when cchNameString
// is 0); 1 and an empty string when the certificate names nothing of the
// type. The substitute knows CERT_NAME_SIMPLE_DISPLAY_TYPE: the first common
// name, organizational unit, organization or e-mail address of the subject
// (of the issuer with CERT_NAME_ISSUER_FLAG).
DWORD CertGetNameStringW(PCCERT_CONTEXT pCertContext, DWORD dwType, DWORD dwFlags, void *pvTypePara,
                         LPWSTR pszNameString, DWORD cchNameString);

// CERT_CLOSE_STORE_FORCE_FLAG also frees the contexts still taken from it.
BOOL CertCloseStore(HCERTSTORE hCertStore, DWORD dwFlags);

} // namespace zelsys
