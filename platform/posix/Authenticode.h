//===- Authenticode.h - The signature embedded in a Windows executable -----===//
//
// Reads and checks the Authenticode signature of a PE file from its bytes:
// - the certificate table is the data directory entry 4, a file offset and
//   size that must lie wholly in the file and end it; its first entry is a
//   WIN_CERTIFICATE (length, revision, type 2) holding PKCS#7 signed data;
// - the signed content is an SpcIndirectDataContent whose DigestInfo names
//   the digest algorithm and the image digest;
// - the image digest covers every byte of the file except the optional
//   header's CheckSum, the certificate-table entry and the table itself;
// - the signer's signature covers the content, and the signer's chain must
//   end in one of the given trusted roots, with the certificates valid now
//   and, where they name uses, allowed to sign code.
// The file is untrusted: every offset is checked before it is read.
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "PeResources.h"
#include "zelsys/wintypes.h"

#include <vector>

namespace zelsys::posix {

using Bytes = std::vector<BYTE>;

// The DER bytes of the file's PKCS#7 signature. Returns 0, or
// TRUST_E_SUBJECT_FORM_UNKNOWN for a file that is no PE image,
// TRUST_E_NOSIGNATURE for one without a certificate table or whose table
// holds no PKCS#7 signed data, CRYPT_E_FILE_ERROR for a table that the file
// does not hold whole (a cut file) or that cannot be read.
LONG readEmbeddedSignature(const ImageBytes &image, Bytes &der);

// The whole check, as WinVerifyTrust's result: 0 for a valid signature whose
// chain ends in one of roots (DER certificates); the errors above;
// TRUST_E_NOSIGNATURE also for signed data that is no Authenticode content;
// TRUST_E_BAD_DIGEST when the image digest differs or bytes follow the
// table; TRUST_E_CERT_SIGNATURE when the signer's signature does not hold;
// CERT_E_UNTRUSTEDROOT, CERT_E_CHAINING, CERT_E_EXPIRED, CERT_E_WRONG_USAGE
// or TRUST_E_FAIL for the chain.
LONG verifyAuthenticode(const ImageBytes &image, const std::vector<Bytes> &roots);

} // namespace zelsys::posix
