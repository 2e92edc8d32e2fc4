// test_signed_file.cpp - CZELSignedFile over the samples make-signed-files
// builds beside this test: a DLL signed with a throw-away certificate, the
// same unsigned, with a code byte or a signature byte flipped, cut short, and
// signed by a second publisher. Both certificates are trusted roots of the
// machine while a test runs. The verdicts and signer names must agree with
// those of osslsigncode, which checked the same files when they were made.
#include "zel_exceptions.h"
#include "zel_test_support.h"
#include "zel_windows_signedfile.h"
#include "zelsys/zelsys.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

using namespace zelsys;

namespace {

const char16_t *const ROOTS = u"SOFTWARE\\Microsoft\\SystemCertificates\\ROOT\\Certificates\\";

std::u16string sample(const std::string &name) {
  WCHAR path[MAX_PATH];
  const std::u16string self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  return self.substr(0, self.rfind(u'\\') + 1) + u"signed\\" +
         std::u16string(name.begin(), name.end());
}

std::u16string widen(const std::string &text) { return std::u16string(text.begin(), text.end()); }

struct Verdict {
  std::string file;
  bool valid = false;
  std::string signer; // the CN osslsigncode reports; empty when it names none
};

std::vector<Verdict> verdicts() {
  std::istringstream lines(zeltest::readFileBytes(sample("verdicts.txt")));
  std::vector<Verdict> all;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    Verdict verdict;
    std::string word;
    fields >> verdict.file >> word;
    verdict.valid = word == "valid";
    std::getline(fields >> std::ws, verdict.signer);
    all.push_back(verdict);
  }
  return all;
}

// A certificate as the root store keeps it: the key is its SHA-1 in hex, the
// "Blob" value a serialized element (property 0x20, encoding 1, length, DER).
void setTrusted(const std::string &name, bool bTrusted) {
  std::string thumb = zeltest::readFileBytes(sample(name + ".sha1"));
  thumb.erase(thumb.find_last_not_of("\r\n") + 1);
  const std::u16string key = ROOTS + widen(thumb);
  if (!bTrusted) {
    HKEY hRoots = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ROOTS, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &hRoots) ==
        0) {
      RegDeleteKeyW(hRoots, widen(thumb).c_str());
      RegCloseKey(hRoots);
    }
    return;
  }
  const std::string der = zeltest::readFileBytes(sample(name + ".cer"));
  ASSERT_FALSE(der.empty());
  const DWORD header[3] = {0x20, 1, static_cast<DWORD>(der.size())};
  std::string blob(reinterpret_cast<const char *>(header), sizeof header);
  blob += der;
  HKEY hKey = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &hKey, nullptr),
            0);
  EXPECT_EQ(RegSetValueExW(hKey, u"Blob", 0, REG_BINARY,
                           reinterpret_cast<const BYTE *>(blob.data()),
                           static_cast<DWORD>(blob.size())),
            0);
  RegCloseKey(hKey);
}

class SignedFile : public ::testing::Test {
protected:
  void SetUp() override {
    setTrusted("signer", true);
    setTrusted("other", true);
  }
  void TearDown() override {
    setTrusted("signer", false);
    setTrusted("other", false);
  }

  zeltest::RecordingSink m_sink;
};

// What the check logs for each sample osslsigncode refused.
struct Refusal {
  const char *file;
  const char16_t *message;
  const char *wineGap; // why Wine logs something else, if it does
};
const Refusal REFUSALS[] = {
    {"unsigned.dll", u"TRUST_E_NOSIGNATURE during verification", nullptr},
    {"code-flipped.dll", u"TRUST_E_BAD_DIGEST when verifying file signature", nullptr},
    {"signature-flipped.dll", u"Error in call to WinVerifyTrust", nullptr},
    {"truncated.dll", u"CRYPT_E_FILE_ERROR during verification",
     "Wine answers ERROR_INSUFFICIENT_BUFFER (122) for a cut certificate table"},
};

TEST_F(SignedFile, VerdictsAndSignersAgreeWithTheIndependentVerifier) {
  const std::vector<Verdict> all = verdicts();
  ASSERT_EQ(all.size(), 6u);
  for (const Verdict &verdict : all) {
    SCOPED_TRACE(verdict.file);
    m_sink.clear();
    CZELSignedFile file{CZELWCharString(sample(verdict.file).c_str())};
    bool bValid = true;
    const bool bChecked = file.verifySignature(CZELWCharString(), bValid);
    EXPECT_EQ(bChecked, verdict.valid);
    EXPECT_EQ(bValid, verdict.valid);
    if (!verdict.valid) {
      const auto *refusal = std::find_if(std::begin(REFUSALS), std::end(REFUSALS),
                                         [&](const Refusal &r) { return verdict.file == r.file; });
      ASSERT_NE(refusal, std::end(REFUSALS));
      const bool bLogged = m_sink.countMessage(refusal->message) == 1;
      if (refusal->wineGap != nullptr)
        ZEL_EXPECT_GAP_ON_WINE(bLogged, refusal->wineGap);
      else
        EXPECT_TRUE(bLogged);
      continue;
    }
    // The signer's name, in other letter case, and someone else's.
    std::string lower = verdict.signer;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    EXPECT_TRUE(file.verifySignature(CZELWCharString(widen(lower).c_str()), bValid));
    EXPECT_TRUE(bValid);
    EXPECT_TRUE(file.verifySignature(CZELWCharString(u"Nobody In Particular"), bValid));
    EXPECT_FALSE(bValid);
  }
}

// The second publisher's signature also carries the first one's certificate;
// put first in the message, that certificate still does not make the file
// the first publisher's.
TEST_F(SignedFile, OnlyTheSigningCertificateNamesTheSigner) {
  std::string bytes = zeltest::readFileBytes(sample("carrier.dll"));
  const std::string first = zeltest::readFileBytes(sample("other.cer"));
  const std::string second = zeltest::readFileBytes(sample("signer.cer"));
  const std::size_t at = bytes.find(first);
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(bytes.compare(at + first.size(), second.size(), second), 0)
      << "certificates not adjacent";
  bytes.replace(at, first.size() + second.size(), second + first);
  const std::u16string reordered = sample("reordered.dll");
  ASSERT_TRUE(zeltest::writeFileBytes(reordered, bytes));

  CZELSignedFile file{CZELWCharString(reordered.c_str())};
  bool bValid = false;
  EXPECT_TRUE(file.verifySignature(CZELWCharString(u"Fixwell Test Signer"), bValid));
  EXPECT_FALSE(bValid);
  EXPECT_TRUE(file.verifySignature(CZELWCharString(u"Other Publisher"), bValid));
  EXPECT_TRUE(bValid);
  DeleteFileW(reordered.c_str());
}

TEST_F(SignedFile, UntrustedMissingAndUnsignedFilesAreRefused) {
  CZELSignedFile signedDll{CZELWCharString(sample("signed.dll").c_str())};
  HMODULE hModule = nullptr;
  EXPECT_TRUE(signedDll.verifyAndLoadDLL(CZELWCharString(u"FIXWELL TEST SIGNER"), hModule));
  EXPECT_NE(hModule, nullptr);
  FreeLibrary(hModule);

  setTrusted("signer", false);
  m_sink.clear();
  bool bValid = true;
  const bool bChecked = signedDll.verifySignature(CZELWCharString(), bValid);
  ZEL_EXPECT_GAP_ON_WINE(!bChecked && !bValid &&
                             m_sink.countMessage(u"Error in call to WinVerifyTrust") == 1,
                         "Wine's policy passes a chain that ends in an untrusted root");

  CZELSignedFile unsignedDll{CZELWCharString(sample("unsigned.dll").c_str())};
  hModule = reinterpret_cast<HMODULE>(1);
  EXPECT_FALSE(unsignedDll.verifyAndLoadDLL(CZELWCharString(), hModule));
  EXPECT_EQ(hModule, nullptr);

  const std::u16string missing = sample("missing.dll");
  EXPECT_THROW(CZELSignedFile{CZELWCharString(missing.c_str())}, CZELSignedFileInitException);
  m_sink.clear();
  CZELSignedFile none;
  EXPECT_FALSE(none.verifySignature(CZELWCharString(), bValid));
  EXPECT_EQ(m_sink.countMessage(u"Provided signed filename  does not exist."), 1u);
}

} // namespace
