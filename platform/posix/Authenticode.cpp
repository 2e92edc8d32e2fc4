//===- Authenticode.cpp - The signature embedded in a Windows executable ---===//
//
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "Authenticode.h"
#include "zelsys/trust.h"
#include "zelsys/winconst.h"

#include <cstring>
#include <memory>
#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

namespace zelsys::posix {

namespace {

constexpr DWORD kCertificateDirectory = 4;
constexpr std::uint64_t kWinCertificateHeader = 8;
constexpr WORD kCertTypePkcsSignedData = 2;
constexpr const char *kSpcIndirectDataOid = "1.3.6.1.4.1.311.2.1.4";

template <class T, void (*Free)(T *)> struct Deleter {
  void operator()(T *p) const { Free(p); }
};
template <class T, void (*Free)(T *)> using Owned = std::unique_ptr<T, Deleter<T, Free>>;

using Pkcs7 = Owned<PKCS7, PKCS7_free>;
using Certificate = Owned<X509, X509_free>;
using Store = Owned<X509_STORE, X509_STORE_free>;
using StoreContext = Owned<X509_STORE_CTX, X509_STORE_CTX_free>;
using Algorithm = Owned<X509_ALGOR, X509_ALGOR_free>;
using Digest = Owned<EVP_MD_CTX, EVP_MD_CTX_free>;
using Bio = Owned<BIO, BIO_free_all>;

void freeSequence(STACK_OF(ASN1_TYPE) * items) { sk_ASN1_TYPE_pop_free(items, ASN1_TYPE_free); }
using Sequence = Owned<STACK_OF(ASN1_TYPE), freeSequence>;

// The elements of a DER SEQUENCE.
Sequence elements(const ASN1_STRING *sequence) {
  const unsigned char *p = sequence->data;
  return Sequence(d2i_ASN1_SEQUENCE_ANY(nullptr, &p, sequence->length));
}

// The element at index when it has the given type.
const ASN1_TYPE *element(const Sequence &items, int index, int type) {
  if (!items || sk_ASN1_TYPE_num(items.get()) <= index)
    return nullptr;
  const ASN1_TYPE *item = sk_ASN1_TYPE_value(items.get(), index);
  return ASN1_TYPE_get(item) == type ? item : nullptr;
}

// The places in the file the digest must leave out.
struct Layout {
  std::uint64_t checksum = 0;
  std::uint64_t directoryEntry = 0;
  std::uint64_t table = 0; // the certificate table: file offset and size
  std::uint64_t tableSize = 0;
};

LONG readLayout(const ImageBytes &image, Layout &layout) {
  DirectoryEntry entry;
  if (readDirectoryEntry(image, kCertificateDirectory, entry) != ERROR_SUCCESS)
    return TRUST_E_SUBJECT_FORM_UNKNOWN;
  if (!entry.present || entry.address == 0 || entry.size == 0)
    return TRUST_E_NOSIGNATURE;
  layout = {entry.checksumOffset, entry.entryOffset, entry.address, entry.size};
  if (layout.table > image.size() || layout.tableSize > image.size() - layout.table)
    return CRYPT_E_FILE_ERROR;
  return 0;
}

LONG readSignature(const ImageBytes &image, const Layout &layout, Bytes &der) {
  BYTE header[kWinCertificateHeader];
  if (layout.tableSize < sizeof header || !image.read(layout.table, header, sizeof header))
    return layout.tableSize < sizeof header ? TRUST_E_NOSIGNATURE : CRYPT_E_FILE_ERROR;
  const DWORD length =
      DWORD{header[0]} | DWORD{header[1]} << 8 | DWORD{header[2]} << 16 | DWORD{header[3]} << 24;
  const WORD type = static_cast<WORD>(header[6] | header[7] << 8);
  if (type != kCertTypePkcsSignedData || length <= sizeof header || length > layout.tableSize)
    return TRUST_E_NOSIGNATURE;
  der.resize(length - sizeof header);
  return image.read(layout.table + sizeof header, der.data(), der.size()) ? 0 : CRYPT_E_FILE_ERROR;
}

// The digest of the bytes Authenticode covers: all before the table but the
// checksum and the table's directory entry.
bool imageDigest(const ImageBytes &image, const Layout &layout, const EVP_MD *md, Bytes &out) {
  Digest ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1)
    return false;
  const std::uint64_t cuts[][2] = {
      {layout.checksum, 4}, {layout.directoryEntry, 8}, {layout.table, layout.tableSize}};
  std::uint64_t at = 0;
  std::vector<BYTE> chunk(1 << 16);
  for (const auto &cut : cuts) {
    if (cut[0] < at)
      return false; // the fields are in this order in every well-formed image
    while (at < cut[0]) {
      const std::size_t count =
          static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), cut[0] - at));
      if (!image.read(at, chunk.data(), count) ||
          EVP_DigestUpdate(ctx.get(), chunk.data(), count) != 1)
        return false;
      at += count;
    }
    at += cut[1];
  }
  unsigned int size = 0;
  out.resize(EVP_MAX_MD_SIZE);
  if (EVP_DigestFinal_ex(ctx.get(), out.data(), &size) != 1)
    return false;
  out.resize(size);
  return true;
}

// The SpcIndirectDataContent: its DER, and the digest algorithm and value
// it names.
struct Content {
  const ASN1_STRING *der = nullptr;
  const EVP_MD *md = nullptr;
  Bytes digest;
};

bool readContent(const PKCS7 *p7, Content &content) {
  if (!PKCS7_type_is_signed(p7) || p7->d.sign == nullptr || p7->d.sign->contents == nullptr)
    return false;
  const PKCS7 *inner = p7->d.sign->contents;
  char oid[64] = {};
  if (inner->type == nullptr || OBJ_obj2txt(oid, sizeof oid, inner->type, 1) <= 0 ||
      std::strcmp(oid, kSpcIndirectDataOid) != 0 || inner->d.other == nullptr ||
      ASN1_TYPE_get(inner->d.other) != V_ASN1_SEQUENCE)
    return false;
  content.der = inner->d.other->value.sequence;
  const Sequence fields = elements(content.der);
  const ASN1_TYPE *digestInfo = element(fields, 1, V_ASN1_SEQUENCE);
  if (digestInfo == nullptr)
    return false;
  const Sequence parts = elements(digestInfo->value.sequence);
  const ASN1_TYPE *algorithm = element(parts, 0, V_ASN1_SEQUENCE);
  const ASN1_TYPE *value = element(parts, 1, V_ASN1_OCTET_STRING);
  if (algorithm == nullptr || value == nullptr)
    return false;
  const unsigned char *p = algorithm->value.sequence->data;
  const Algorithm algor(d2i_X509_ALGOR(nullptr, &p, algorithm->value.sequence->length));
  content.md = algor ? EVP_get_digestbyobj(algor->algorithm) : nullptr;
  const ASN1_OCTET_STRING *octets = value->value.octet_string;
  content.digest.assign(octets->data, octets->data + octets->length);
  return content.md != nullptr;
}

// The signer's signature over the content: Authenticode signs the content's
// value without its own tag and length.
bool signatureHolds(PKCS7 *p7, const ASN1_STRING *der) {
  const unsigned char *p = der->data;
  long length = 0;
  int tag = 0;
  int cls = 0;
  if (ASN1_get_object(&p, &length, &tag, &cls, der->length) & 0x80)
    return false;
  // Behind a pass-through filter: handed a memory BIO directly, the library
  // copies it into one of its own and loses that copy when the message
  // cannot be opened.
  BIO *memory = BIO_new_mem_buf(p, static_cast<int>(length));
  Bio data(memory != nullptr ? BIO_push(BIO_new(BIO_f_null()), memory) : nullptr);
  if (!data) {
    BIO_free(memory);
    return false;
  }
  return PKCS7_verify(p7, nullptr, nullptr, data.get(), nullptr, PKCS7_NOVERIFY | PKCS7_BINARY) ==
         1;
}

LONG chainError(int error) {
  switch (error) {
  case X509_V_ERR_CERT_HAS_EXPIRED:
  case X509_V_ERR_CERT_NOT_YET_VALID:
    return CERT_E_EXPIRED;
  case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
  case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    return CERT_E_UNTRUSTEDROOT;
  case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
  case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    return CERT_E_CHAINING;
  default:
    return TRUST_E_FAIL;
  }
}

LONG checkChain(PKCS7 *p7, const std::vector<Bytes> &roots) {
  STACK_OF(X509) *signers = PKCS7_get0_signers(p7, nullptr, 0);
  X509 *leaf =
      signers != nullptr && sk_X509_num(signers) == 1 ? sk_X509_value(signers, 0) : nullptr;
  sk_X509_free(signers);
  if (leaf == nullptr)
    return TRUST_E_NOSIGNATURE;
  // A certificate that names its uses must allow code signing.
  if ((X509_get_extension_flags(leaf) & EXFLAG_XKUSAGE) != 0 &&
      (X509_get_extended_key_usage(leaf) & XKU_CODE_SIGN) == 0)
    return CERT_E_WRONG_USAGE;
  Store store(X509_STORE_new());
  if (!store)
    return TRUST_E_FAIL;
  for (const Bytes &root : roots) {
    const unsigned char *p = root.data();
    const Certificate certificate(d2i_X509(nullptr, &p, static_cast<long>(root.size())));
    if (certificate)
      X509_STORE_add_cert(store.get(), certificate.get());
  }
  StoreContext ctx(X509_STORE_CTX_new());
  if (!ctx || X509_STORE_CTX_init(ctx.get(), store.get(), leaf, p7->d.sign->cert) != 1)
    return TRUST_E_FAIL;
  return X509_verify_cert(ctx.get()) == 1 ? 0 : chainError(X509_STORE_CTX_get_error(ctx.get()));
}

} // namespace

LONG readEmbeddedSignature(const ImageBytes &image, Bytes &der) {
  Layout layout;
  const LONG result = readLayout(image, layout);
  return result != 0 ? result : readSignature(image, layout, der);
}

LONG verifyAuthenticode(const ImageBytes &image, const std::vector<Bytes> &roots) {
  Layout layout;
  Bytes der;
  LONG result = readLayout(image, layout);
  if (result == 0)
    result = readSignature(image, layout, der);
  if (result != 0)
    return result;
  const unsigned char *p = der.data();
  Pkcs7 p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
  Content content;
  if (!p7 || !readContent(p7.get(), content))
    return TRUST_E_NOSIGNATURE;
  // Bytes after the table are covered by nothing: refused, not ignored.
  Bytes actual;
  if (layout.table + layout.tableSize != image.size() ||
      !imageDigest(image, layout, content.md, actual) || actual != content.digest)
    return TRUST_E_BAD_DIGEST;
  if (!signatureHolds(p7.get(), content.der))
    return TRUST_E_CERT_SIGNATURE;
  return checkChain(p7.get(), roots);
}

} // namespace zelsys::posix
