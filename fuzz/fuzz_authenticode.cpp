// fuzz_authenticode.cpp - the Authenticode reader and check on any bytes.
//
// An input that starts with "MZ" is a whole file, so the PE headers are
// fuzzed too. Any other input is, after its first byte, the certificate table
// of a fixed minimal PE32 image, so every byte reaches the WIN_CERTIFICATE
// and PKCS#7 readers. The check runs against no trusted root, so a valid
// signature goes through the digest and the signer's signature to the chain.
// Whatever the bytes, the result is one of the documented codes; any other
// traps, so libFuzzer keeps the input.
#include "Authenticode.h"
#include "zelsys/trust.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using namespace zelsys;
using posix::Bytes;

class MemoryImage final : public posix::ImageBytes {
public:
  explicit MemoryImage(Bytes bytes) : m_bytes(std::move(bytes)) {}
  std::uint64_t size() const override { return m_bytes.size(); }
  bool read(std::uint64_t offset, void *out, std::size_t count) const override {
    if (offset > m_bytes.size() || count > m_bytes.size() - offset)
      return false;
    if (count != 0)
      std::memcpy(out, m_bytes.data() + offset, count);
    return true;
  }

private:
  Bytes m_bytes;
};

void put32(Bytes &bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<BYTE>(value >> (8 * i));
}

// DOS header, "PE\0\0", a file header and a PE32 optional header with 16
// directories; the certificate table follows at 512 and runs to the end.
Bytes imageWithTable(const std::uint8_t *table, std::size_t size) {
  Bytes bytes(512, 0);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  put32(bytes, 0x3C, 0x40);
  std::memcpy(&bytes[0x40], "PE\0\0", 4);
  bytes[0x44] = 0x4C; // i386
  bytes[0x45] = 0x01;
  bytes[0x54] = 0xE0; // SizeOfOptionalHeader
  bytes[0x58] = 0x0B; // PE32
  bytes[0x59] = 0x01;
  put32(bytes, 0x58 + 92, 16);          // NumberOfRvaAndSizes
  put32(bytes, 0x58 + 96 + 4 * 8, 512); // the certificate table
  put32(bytes, 0x58 + 96 + 4 * 8 + 4, static_cast<std::uint32_t>(size));
  bytes.insert(bytes.end(), table, table + size);
  return bytes;
}

bool documented(LONG result) {
  for (const LONG code :
       {LONG{0}, TRUST_E_SUBJECT_FORM_UNKNOWN, TRUST_E_NOSIGNATURE, CRYPT_E_FILE_ERROR,
        TRUST_E_BAD_DIGEST, TRUST_E_CERT_SIGNATURE, CERT_E_UNTRUSTEDROOT, CERT_E_CHAINING,
        CERT_E_EXPIRED, CERT_E_WRONG_USAGE, TRUST_E_FAIL})
    if (result == code)
      return true;
  return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const bool bWholeFile = size >= 2 && data[0] == 'M' && data[1] == 'Z';
  const MemoryImage image(bWholeFile ? Bytes(data, data + size)
                                     : imageWithTable(data + (size != 0), size - (size != 0)));
  Bytes der;
  const LONG read = posix::readEmbeddedSignature(image, der);
  if (!documented(read) || (read == 0) == der.empty())
    __builtin_trap();
  if (!documented(posix::verifyAuthenticode(image, {})))
    __builtin_trap();
  return 0;
}
