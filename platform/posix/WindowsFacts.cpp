//===- WindowsFacts.cpp - The emulated machine's Windows facts -------------===//
//
// Reads each fact from its registry value (see WindowsFacts.h), keeping the
// Windows 7 SP1 64-bit default where the value does not give one; keeps the
// declared bitness of the process. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "WindowsFacts.h"
#include "Machine.h"
#include "RegistryStore.h"
#include "Utf.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

namespace zelsys::posix {

namespace {

#define ZEL_MICROSOFT_KEY u"MACHINE\\SOFTWARE\\Microsoft\\"
#define ZEL_CONTROL_KEY u"MACHINE\\SYSTEM\\CurrentControlSet\\Control\\"

const char16_t kCurrentVersion[] = ZEL_MICROSOFT_KEY u"Windows NT\\CurrentVersion";
const char16_t kWinlogon[] = ZEL_MICROSOFT_KEY u"Windows NT\\CurrentVersion\\Winlogon";
const char16_t kPolicies[] = ZEL_MICROSOFT_KEY u"Windows\\CurrentVersion\\Policies\\System";
const char16_t kWindows[] = ZEL_CONTROL_KEY u"Windows";
const char16_t kEnvironment[] = ZEL_CONTROL_KEY u"Session Manager\\Environment";
const char16_t kProductOptions[] = ZEL_CONTROL_KEY u"ProductOptions";
const char16_t kTcpip[] = u"MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";

// The values of one read transaction, typed.
class Reader {
public:
  explicit Reader(RegistryTransaction &tx) : m_tx(tx) {}

  std::optional<ValueRecord> value(const char16_t *path, const char16_t *name) {
    const std::optional<KeyId> key = m_tx.keyAtPath(path);
    return key ? m_tx.value(*key, name) : std::nullopt;
  }

  // A REG_SZ value up to its first terminator.
  std::optional<std::u16string> text(const char16_t *path, const char16_t *name) {
    const std::optional<ValueRecord> found = value(path, name);
    if (!found || found->type != REG_SZ)
      return std::nullopt;
    std::u16string text(found->data.size() / sizeof(char16_t), u'\0');
    std::memcpy(text.data(), found->data.data(), text.size() * sizeof(char16_t));
    return text.substr(0, text.find(u'\0'));
  }

  // A REG_DWORD value of four bytes, little-endian as Windows stores it.
  static std::optional<DWORD> number(const std::optional<ValueRecord> &found) {
    if (!found || found->type != REG_DWORD || found->data.size() != sizeof(DWORD))
      return std::nullopt;
    DWORD number = 0;
    for (std::size_t i = 0; i < sizeof(DWORD); ++i)
      number |= static_cast<DWORD>(found->data[i]) << (8 * i);
    return number;
  }

  // A logon setting: the policy's value when the policy key holds one, else
  // Winlogon's; a value of another type counts as 0, as does none at all.
  DWORD logonSetting(const char16_t *name) {
    std::optional<ValueRecord> found = value(kPolicies, name);
    if (!found)
      found = value(kWinlogon, name);
    return number(found).value_or(0);
  }

private:
  RegistryTransaction &m_tx;
};

// Decimal digits only, at most nine of them.
std::optional<DWORD> parseNumber(std::u16string_view text) {
  if (text.empty() || text.size() > 9)
    return std::nullopt;
  DWORD number = 0;
  for (const char16_t unit : text) {
    if (unit < u'0' || unit > u'9')
      return std::nullopt;
    number = number * 10 + static_cast<DWORD>(unit - u'0');
  }
  return number;
}

// "6.1": the major and the minor version; anything else is not a version.
void parseVersion(std::u16string_view text, WindowsFacts &facts) {
  const std::size_t dot = text.find(u'.');
  if (dot == std::u16string_view::npos)
    return;
  const std::optional<DWORD> major = parseNumber(text.substr(0, dot));
  const std::optional<DWORD> minor = parseNumber(text.substr(dot + 1));
  if (major && minor) {
    facts.major = *major;
    facts.minor = *minor;
  }
}

struct Name {
  const char16_t *text;
  unsigned value;
};
const Name kArchitectures[] = {{u"x86", PROCESSOR_ARCHITECTURE_INTEL},
                               {u"AMD64", PROCESSOR_ARCHITECTURE_AMD64},
                               {u"IA64", PROCESSOR_ARCHITECTURE_IA64}};
const Name kProductTypes[] = {{u"WinNT", VER_NT_WORKSTATION},
                              {u"ServerNT", VER_NT_SERVER},
                              {u"LanmanNT", VER_NT_DOMAIN_CONTROLLER}};

// The value a name stands for, compared as Windows compares names.
template <std::size_t N>
std::optional<unsigned> lookUp(const Name (&names)[N], const std::optional<std::u16string> &text) {
  for (const Name &name : names)
    if (text && equalsIgnoreCase(*text, name.text))
      return name.value;
  return std::nullopt;
}

WORD architecture(Reader &reader, WORD fallback) {
  return static_cast<WORD>(
      lookUp(kArchitectures, reader.text(kEnvironment, u"PROCESSOR_ARCHITECTURE"))
          .value_or(fallback));
}

// Replaces each default of facts that the registry gives.
void read(Reader &reader, WindowsFacts &facts) {
  if (const auto version = reader.text(kCurrentVersion, u"CurrentVersion"))
    parseVersion(*version, facts);
  if (const auto build = reader.text(kCurrentVersion, u"CurrentBuildNumber"))
    facts.build = parseNumber(*build).value_or(facts.build);
  facts.servicePack =
      reader.number(reader.value(kWindows, u"CSDVersion")).value_or(facts.servicePack);
  const DWORD level = (facts.servicePack >> 8) & 0xFF;
  facts.servicePackText =
      reader.text(kCurrentVersion, u"CSDVersion")
          .value_or(level == 0 ? u"" : u"Service Pack " + utf8ToUtf16(std::to_string(level)));
  facts.architecture = architecture(reader, facts.architecture);
  facts.productType =
      static_cast<BYTE>(lookUp(kProductTypes, reader.text(kProductOptions, u"ProductType"))
                            .value_or(facts.productType));
  facts.domainMember = facts.productType == VER_NT_DOMAIN_CONTROLLER ||
                       !reader.text(kTcpip, u"Domain").value_or(u"").empty();
  facts.replacedLogonDialog = reader.value(kWinlogon, u"GinaDLL").has_value();
  facts.logonType = reader.logonSetting(u"LogonType");
  facts.allowMultipleSessions = reader.logonSetting(u"AllowMultipleTSSessions");
}

} // namespace

DWORD readWindowsFacts(WindowsFacts &facts) {
  WindowsFacts found;
  const DWORD result = runRegistryTransaction(false, [&](RegistryTransaction &tx) -> DWORD {
    // Each attempt starts from the defaults, a retried one too.
    WindowsFacts attempt;
    Reader reader(tx);
    read(reader, attempt);
    found = std::move(attempt);
    return ERROR_SUCCESS;
  });
  if (result == ERROR_SUCCESS)
    facts = std::move(found);
  return result;
}

WORD readMachineArchitecture(RegistryTransaction &tx) {
  try {
    Reader reader(tx);
    return architecture(reader, WindowsFacts().architecture);
  } catch (const RegistryFailure &) {
    // A SYSTEM hive that cannot be read must not stop the calls on the
    // other hives, which ask this for their view: a 64-bit Windows keeps
    // its 32-bit system files in SysWOW64.
    return findBelow(tx.machine(), "Windows/SysWOW64").empty() ? PROCESSOR_ARCHITECTURE_INTEL
                                                               : PROCESSOR_ARCHITECTURE_AMD64;
  }
}

namespace {

// 0 until a program declares its bitness, then 32 or 64.
std::atomic<int> gDeclaredBits{0};

} // namespace

ProcessBitness processBitness() {
  switch (gDeclaredBits.load()) {
  case 32:
    return ProcessBitness::Bits32;
  case 64:
    return ProcessBitness::Bits64;
  default:
    break;
  }
  static const ProcessBitness fromEnvironment = [] {
    const char *bits = std::getenv("ZEL_PROCESS_BITS");
    return bits && std::string_view(bits) == "32" ? ProcessBitness::Bits32 : ProcessBitness::Bits64;
  }();
  return fromEnvironment;
}

} // namespace zelsys::posix

namespace zelsys {

void declareProcessBitness(ProcessBitness bitness) {
  posix::gDeclaredBits.store(bitness == ProcessBitness::Bits32 ? 32 : 64);
}

} // namespace zelsys
