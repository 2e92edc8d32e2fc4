//===- Trust.cpp - Signature trust and certificates on the substitute ------===//
//
// WinVerifyTrust runs the whole Authenticode check (Authenticode.h) against
// the trusted roots kept in the machine's registry. A file's signature opened
// by CryptQueryObject becomes a certificate store (the certificates of the
// PKCS#7 message in its order) and a message (its signers' issuer and serial
// number), both kernel objects of the handle table. A certificate context
// stays valid until it is freed, passed on to the next find, or its store is
// closed with the force flag. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "zelsys/trust.h"
#include "Authenticode.h"
#include "Errors.h"
#include "Handles.h"
#include "HostPath.h"
#include "Utf.h"
#include "zelsys/kernel.h"
#include "zelsys/registry.h"
#include "zelsys/winconst.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

namespace zelsys {

namespace {

using posix::Bytes;

constexpr DWORD CRYPT_E_INVALID_INDEX = 0x80091008;
constexpr DWORD kCertPropertyId = 0x20; // a serialized element holding the certificate
constexpr const char16_t *kRootsKey =
    u"SOFTWARE\\Microsoft\\SystemCertificates\\ROOT\\Certificates";

struct Pkcs7Free {
  void operator()(PKCS7 *p) const { PKCS7_free(p); }
};
struct X509Free {
  void operator()(X509 *p) const { X509_free(p); }
};

template <class T, class Encode> Bytes der(T *object, Encode encode) {
  const int length = encode(object, nullptr);
  if (length <= 0)
    return {};
  Bytes bytes(static_cast<std::size_t>(length));
  unsigned char *p = bytes.data();
  encode(object, &p);
  return bytes;
}

// Windows keeps a serial number little-endian; only its content octets count.
Bytes serialBytes(const ASN1_INTEGER *serial) {
  const Bytes encoded = der(serial, i2d_ASN1_INTEGER);
  const unsigned char *p = encoded.data();
  long length = 0;
  int tag = 0;
  int cls = 0;
  if (encoded.empty() ||
      (ASN1_get_object(&p, &length, &tag, &cls, static_cast<long>(encoded.size())) & 0x80))
    return {};
  return Bytes(std::make_reverse_iterator(p + length), std::make_reverse_iterator(p));
}

struct Signer {
  Bytes issuer; // DER of the issuer's name
  Bytes serial;
};

class CertStore final : public posix::KernelObject {
public:
  posix::Closer closer() const override { return posix::Closer::CertCloseStore; }
  std::vector<Bytes> certificates;
};

class CryptMessage final : public posix::KernelObject {
public:
  posix::Closer closer() const override { return posix::Closer::CryptMsgClose; }
  std::vector<Signer> signers;
};

// A context handed out by CertFindCertificateInStore. The record owns the
// certificate's bytes, so the context outlives a store closed without force.
struct ContextRecord {
  CERT_CONTEXT context{};
  Bytes encoded;
  std::size_t index = 0;
};

std::mutex gContextLock;
std::map<const CERT_CONTEXT *, std::unique_ptr<ContextRecord>> gContexts;

// The file behind a Windows path, opened for reading.
DWORD openImage(LPCWSTR path, posix::ImageFile &image) {
  posix::HostFile host;
  DWORD error = ERROR_SUCCESS;
  if (path == nullptr)
    return ERROR_INVALID_PARAMETER;
  if (!posix::resolveHostFile(path, posix::NameUse::Open, host, error))
    return error;
  return image.open(host.path);
}

// The certificate of a serialized store element (property records of id,
// encoding, length and bytes), or nothing.
Bytes certificateOfBlob(const Bytes &blob) {
  std::size_t at = 0;
  while (blob.size() - at >= 12) {
    DWORD fields[3];
    std::memcpy(fields, blob.data() + at, sizeof fields);
    at += sizeof fields;
    if (fields[2] > blob.size() - at)
      break;
    if (fields[0] == kCertPropertyId)
      return Bytes(blob.begin() + static_cast<std::ptrdiff_t>(at),
                   blob.begin() + static_cast<std::ptrdiff_t>(at + fields[2]));
    at += fields[2];
  }
  return {};
}

Bytes readBlob(HKEY hRoots, const char16_t *pszName) {
  HKEY hKey = nullptr;
  Bytes blob;
  if (RegOpenKeyExW(hRoots, pszName, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
    return blob;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(hKey, u"Blob", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      type == REG_BINARY) {
    blob.resize(size);
    if (RegQueryValueExW(hKey, u"Blob", nullptr, &type, blob.data(), &size) != ERROR_SUCCESS)
      blob.clear();
    blob.resize(size);
  }
  RegCloseKey(hKey);
  return blob;
}

// The local machine's trusted roots, as Windows keeps them in the registry.
std::vector<Bytes> trustedRoots() {
  std::vector<Bytes> roots;
  HKEY hRoots = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRootsKey, 0, KEY_READ | KEY_WOW64_64KEY, &hRoots) !=
      ERROR_SUCCESS)
    return roots;
  char16_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD cch = 256;
    if (RegEnumKeyExW(hRoots, index, name, &cch, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    Bytes certificate = certificateOfBlob(readBlob(hRoots, name));
    if (!certificate.empty())
      roots.push_back(std::move(certificate));
  }
  RegCloseKey(hRoots);
  return roots;
}

// The PKCS#7 message embedded in a file, or the reason there is none.
DWORD readMessage(LPCWSTR path, std::unique_ptr<PKCS7, Pkcs7Free> &p7) {
  posix::ImageFile image;
  if (const DWORD error = openImage(path, image))
    return error;
  Bytes signature;
  if (posix::readEmbeddedSignature(image, signature) != 0)
    return CRYPT_E_NO_MATCH;
  const unsigned char *p = signature.data();
  p7.reset(d2i_PKCS7(nullptr, &p, static_cast<long>(signature.size())));
  if (!p7 || !PKCS7_type_is_signed(p7.get()) || p7->d.sign == nullptr)
    return CRYPT_E_NO_MATCH;
  return ERROR_SUCCESS;
}

std::shared_ptr<CertStore> storeOf(const PKCS7 *p7) {
  auto store = std::make_shared<CertStore>();
  STACK_OF(X509) *certificates = p7->d.sign->cert;
  for (int i = 0; certificates != nullptr && i < sk_X509_num(certificates); ++i)
    store->certificates.push_back(der(sk_X509_value(certificates, i), i2d_X509));
  return store;
}

std::shared_ptr<CryptMessage> messageOf(PKCS7 *p7) {
  auto message = std::make_shared<CryptMessage>();
  STACK_OF(PKCS7_SIGNER_INFO) *infos = PKCS7_get_signer_info(p7);
  for (int i = 0; infos != nullptr && i < sk_PKCS7_SIGNER_INFO_num(infos); ++i) {
    const PKCS7_ISSUER_AND_SERIAL *id = sk_PKCS7_SIGNER_INFO_value(infos, i)->issuer_and_serial;
    if (id != nullptr)
      message->signers.push_back({der(id->issuer, i2d_X509_NAME), serialBytes(id->serial)});
  }
  return message;
}

std::unique_ptr<X509, X509Free> parseCertificate(const Bytes &encoded) {
  const unsigned char *p = encoded.data();
  return std::unique_ptr<X509, X509Free>(d2i_X509(nullptr, &p, static_cast<long>(encoded.size())));
}

bool isSubjectOf(const Bytes &encoded, const CERT_INFO &info) {
  const auto certificate = parseCertificate(encoded);
  if (!certificate)
    return false;
  const Bytes issuer = der(X509_get_issuer_name(certificate.get()), i2d_X509_NAME);
  const Bytes serial = serialBytes(X509_get0_serialNumber(certificate.get()));
  return issuer == Bytes(info.Issuer.pbData, info.Issuer.pbData + info.Issuer.cbData) &&
         serial ==
             Bytes(info.SerialNumber.pbData, info.SerialNumber.pbData + info.SerialNumber.cbData);
}

// The first simple display attribute of a name, as UTF-16.
std::u16string simpleDisplayName(const X509_NAME *name) {
  for (const int nid :
       {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress}) {
    const int index = X509_NAME_get_index_by_NID(name, nid, -1);
    if (index < 0)
      continue;
    unsigned char *utf8 = nullptr;
    const int length =
        ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index)));
    if (length < 0)
      continue;
    std::u16string text = posix::utf8ToUtf16(
        std::string_view(reinterpret_cast<const char *>(utf8), static_cast<std::size_t>(length)));
    OPENSSL_free(utf8);
    return text;
  }
  return {};
}

void freeContextsOf(HCERTSTORE hCertStore) {
  const std::lock_guard<std::mutex> lock(gContextLock);
  for (auto it = gContexts.begin(); it != gContexts.end();)
    it = it->second->context.hCertStore == hCertStore ? gContexts.erase(it) : std::next(it);
}

} // namespace

LONG WinVerifyTrust(HANDLE /*hWnd*/, const GUID *pgActionID, LPVOID pWVTData) {
  auto *data = static_cast<const WINTRUST_DATA *>(pWVTData);
  LONG result = 0;
  if (pgActionID == nullptr ||
      std::memcmp(pgActionID, &WINTRUST_ACTION_GENERIC_VERIFY_V2, sizeof(GUID)) != 0)
    result = TRUST_E_PROVIDER_UNKNOWN;
  else if (data == nullptr || data->cbStruct < sizeof(WINTRUST_DATA) ||
           data->dwUnionChoice != WTD_CHOICE_FILE || data->pFile == nullptr ||
           data->pFile->pcwszFilePath == nullptr || data->dwStateAction != WTD_STATEACTION_IGNORE)
    result = static_cast<LONG>(E_INVALIDARG);
  else {
    posix::ImageFile image;
    result = openImage(data->pFile->pcwszFilePath, image) != ERROR_SUCCESS
                 ? CRYPT_E_FILE_ERROR
                 : posix::verifyAuthenticode(image, trustedRoots());
  }
  SetLastError(static_cast<DWORD>(result));
  return result;
}

BOOL CryptQueryObject(DWORD dwObjectType, const void *pvObject, DWORD dwExpectedContentTypeFlags,
                      DWORD /*dwExpectedFormatTypeFlags*/, DWORD dwFlags,
                      DWORD *pdwMsgAndCertEncodingType, DWORD *pdwContentType, DWORD *pdwFormatType,
                      HCERTSTORE *phCertStore, HCRYPTMSG *phMsg, const void **ppvContext) {
  if (dwObjectType != CERT_QUERY_OBJECT_FILE || dwFlags != 0 || ppvContext != nullptr)
    return posix::failWith(E_INVALIDARG);
  if ((dwExpectedContentTypeFlags & CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED) == 0)
    return posix::failWith(CRYPT_E_NO_MATCH);
  std::unique_ptr<PKCS7, Pkcs7Free> p7;
  if (const DWORD error = readMessage(static_cast<LPCWSTR>(pvObject), p7))
    return posix::failWith(error);
  if (pdwMsgAndCertEncodingType != nullptr)
    *pdwMsgAndCertEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  if (pdwContentType != nullptr)
    *pdwContentType = CERT_QUERY_CONTENT_PKCS7_SIGNED_EMBED;
  if (pdwFormatType != nullptr)
    *pdwFormatType = CERT_QUERY_FORMAT_BINARY;
  if (phCertStore != nullptr)
    *phCertStore = posix::addHandle(storeOf(p7.get()));
  if (phMsg != nullptr)
    *phMsg = posix::addHandle(messageOf(p7.get()));
  return TRUE;
}

BOOL CryptMsgGetParam(HCRYPTMSG hCryptMsg, DWORD dwParamType, DWORD dwIndex, void *pvData,
                      DWORD *pcbData) {
  const auto message = posix::objectOf<CryptMessage>(hCryptMsg);
  if (!message || pcbData == nullptr)
    return posix::failWith(E_INVALIDARG);
  if (dwParamType != CMSG_SIGNER_CERT_INFO_PARAM)
    return posix::failWith(CRYPT_E_INVALID_MSG_TYPE);
  if (dwIndex >= message->signers.size())
    return posix::failWith(CRYPT_E_INVALID_INDEX);
  const Signer &signer = message->signers[dwIndex];
  const DWORD size =
      static_cast<DWORD>(sizeof(CERT_INFO) + signer.issuer.size() + signer.serial.size());
  const DWORD given = *pcbData;
  *pcbData = size;
  if (pvData == nullptr)
    return TRUE;
  if (given < size)
    return posix::failWith(ERROR_MORE_DATA);
  auto *bytes = static_cast<BYTE *>(pvData);
  CERT_INFO info{};
  info.Issuer = {static_cast<DWORD>(signer.issuer.size()), bytes + sizeof(CERT_INFO)};
  info.SerialNumber = {static_cast<DWORD>(signer.serial.size()),
                       info.Issuer.pbData + signer.issuer.size()};
  std::memcpy(info.Issuer.pbData, signer.issuer.data(), signer.issuer.size());
  std::memcpy(info.SerialNumber.pbData, signer.serial.data(), signer.serial.size());
  std::memcpy(bytes, &info, sizeof info);
  return TRUE;
}

BOOL CryptMsgClose(HCRYPTMSG hCryptMsg) {
  if (hCryptMsg == nullptr)
    return TRUE;
  return posix::removeHandle(hCryptMsg, posix::Closer::CryptMsgClose)
             ? TRUE
             : posix::failWith(ERROR_INVALID_HANDLE);
}

PCCERT_CONTEXT CertFindCertificateInStore(HCERTSTORE hCertStore, DWORD /*dwCertEncodingType*/,
                                          DWORD /*dwFindFlags*/, DWORD dwFindType,
                                          const void *pvFindPara, PCCERT_CONTEXT pPrevCertContext) {
  std::size_t start = 0;
  {
    const std::lock_guard<std::mutex> lock(gContextLock);
    if (const auto it = gContexts.find(pPrevCertContext); it != gContexts.end()) {
      start = it->second->index + 1;
      gContexts.erase(it);
    }
  }
  const auto store = posix::objectOf<CertStore>(hCertStore);
  if (!store || (dwFindType != CERT_FIND_ANY &&
                 (dwFindType != CERT_FIND_SUBJECT_CERT || pvFindPara == nullptr))) {
    SetLastError(E_INVALIDARG);
    return nullptr;
  }
  for (std::size_t index = start; index < store->certificates.size(); ++index) {
    const Bytes &encoded = store->certificates[index];
    if (dwFindType == CERT_FIND_SUBJECT_CERT &&
        !isSubjectOf(encoded, *static_cast<const CERT_INFO *>(pvFindPara)))
      continue;
    auto record = std::make_unique<ContextRecord>();
    record->encoded = encoded;
    record->index = index;
    record->context = {X509_ASN_ENCODING, record->encoded.data(),
                       static_cast<DWORD>(record->encoded.size()), nullptr, hCertStore};
    const PCCERT_CONTEXT context = &record->context;
    const std::lock_guard<std::mutex> lock(gContextLock);
    gContexts.emplace(context, std::move(record));
    return context;
  }
  SetLastError(CRYPT_E_NOT_FOUND);
  return nullptr;
}

BOOL CertFreeCertificateContext(PCCERT_CONTEXT pCertContext) {
  const std::lock_guard<std::mutex> lock(gContextLock);
  gContexts.erase(pCertContext);
  return TRUE;
}

DWORD CertGetNameStringW(PCCERT_CONTEXT pCertContext, DWORD dwType, DWORD dwFlags,
                         void * /*pvTypePara*/, LPWSTR pszNameString, DWORD cchNameString) {
  std::u16string name;
  if (pCertContext != nullptr && dwType == CERT_NAME_SIMPLE_DISPLAY_TYPE) {
    const auto certificate = parseCertificate(Bytes(
        pCertContext->pbCertEncoded, pCertContext->pbCertEncoded + pCertContext->cbCertEncoded));
    if (certificate)
      name = simpleDisplayName((dwFlags & CERT_NAME_ISSUER_FLAG) != 0
                                   ? X509_get_issuer_name(certificate.get())
                                   : X509_get_subject_name(certificate.get()));
  }
  const DWORD needed = static_cast<DWORD>(name.size() + 1);
  if (pszNameString == nullptr || cchNameString == 0)
    return needed;
  // Cut to the buffer, terminated, as Windows does.
  const DWORD count = std::min(needed, cchNameString);
  std::memcpy(pszNameString, name.data(), (count - 1) * sizeof(char16_t));
  pszNameString[count - 1] = u'\0';
  return count;
}

BOOL CertCloseStore(HCERTSTORE hCertStore, DWORD dwFlags) {
  if (hCertStore == nullptr)
    return TRUE;
  if (!posix::removeHandle(hCertStore, posix::Closer::CertCloseStore))
    return posix::failWith(ERROR_INVALID_HANDLE);
  if ((dwFlags & CERT_CLOSE_STORE_FORCE_FLAG) != 0)
    freeContextsOf(hCertStore);
  return TRUE;
}

} // namespace zelsys
