// sample_machine.cpp - lays out a machine the patch applies to, and shows
// the patch record afterwards: "setup [--xp]" writes the suite at version
// 8.0.1 with its old extension files and four users (two with the extension
// in their Firefox profile, one with Firefox alone, one without Firefox) and
// prints the two folders it filled for scripts; "show" prints the patch
// record or says it is missing. It stands on the platform interface alone,
// so one source serves the emulated machine (ZEL_MACHINE) and Windows.
#include "zelsys/zelsys.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

using namespace zelsys;

namespace {

const char16_t SUITE_KEY[] = u"Software\\Korvel\\Velmora";
const char16_t PATCH_KEY[] = u"Software\\Korvel\\Velmora\\Patch\\8201";
const char16_t INSTALL_FOLDER[] = u"C:\\Program Files\\Korvel\\Velmora\\";
const char16_t EXTENSION_ID[] = u"5D2A9E47-C3B1-4a86-9F0E-B71C4D6A2E58";

// The files as the suite shipped them, before Firefox 3.6.
const char OLD_INSTALL_RDF[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<RDF xmlns="http://www.w3.org/1999/02/22-rdf-syntax-ns#"
     xmlns:em="http://www.mozilla.org/2004/em-rdf#">
  <Description about="urn:mozilla:install-manifest">
    <em:id>{5D2A9E47-C3B1-4a86-9F0E-B71C4D6A2E58}</em:id>
    <em:name>Velmora - Password Manager</em:name>
    <em:version>8.0.1.0</em:version>
    <em:targetApplication>
      <Description>
        <em:id>{ec8030f7-c20a-464f-9b0e-13a3a9e97384}</em:id>
        <em:minVersion>2.0</em:minVersion>
        <em:maxVersion>3.5.*</em:maxVersion>
      </Description>
    </em:targetApplication>
  </Description>
</RDF>
)";
const char OLD_CHROME_MANIFEST[] =
    "content velmora chrome/content/\n"
    "overlay chrome://browser/content/browser.xul chrome://velmora/content/overlay.xul\n";

// An extensions.cache as Firefox keeps it: CR LF lines, the suite's
// extension named by its profile entry and by its machine-wide registration.
const char OTHER_ENTRIES[] =
    "app-global\tclassic@themes.example\trel%classic@themes.example\t1262304000\r\n"
    "app-profile\tnotes@tools.example\trel%notes@tools.example\t1264000000\r\n";
const char SUITE_REGISTRATION[] =
    "winreg-app-global\t5D2A9E47-C3B1-4a86-9F0E-B71C4D6A2E58\tabs%C:\\"
    "Program Files\\Korvel\\Velmora\\Qelt FireFox Extension\t1265000000\r\n";
const char SUITE_ENTRY[] =
    "app-profile\t{5D2A9E47-C3B1-4a86-9F0E-B71C4D6A2E58}\trel%{5D2A9E47-C3B1-"
    "4a86-9F0E-B71C4D6A2E58}\t1265000000\r\n";

const struct {
  const char16_t *user;
  const char16_t *firefoxProfile; // null: no Firefox
  bool hasExtension;
} USERS[] = {
    {u"anna", u"x1y2z3ab.default", true},
    {u"ben", u"k9m8n7p6.default", true},
    {u"clara", u"q5r4s3t2.default", false},
    {u"dmitri", nullptr, false},
};

// The names and texts here are plain ASCII; anything else shows as "?".
std::string narrow(const std::u16string &text) {
  std::string out;
  for (char16_t c : text)
    out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

bool fail(const char *what, const std::u16string &name, DWORD code) {
  std::fprintf(stderr, "sample_machine: %s %s failed with error %lu\n", what, narrow(name).c_str(),
               static_cast<unsigned long>(code));
  return false;
}

// Creates each missing folder of a path that ends with "\".
bool makeFolders(const std::u16string &path) {
  for (std::size_t at = path.find(u'\\', 3); at != std::u16string::npos;
       at = path.find(u'\\', at + 1)) {
    const std::u16string folder = path.substr(0, at);
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      return fail("creating", folder, GetLastError());
  }
  return true;
}

bool writeFile(const std::u16string &path, const char *bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  const auto size = static_cast<DWORD>(std::strlen(bytes));
  DWORD written = 0;
  const bool ok = file != INVALID_HANDLE_VALUE && WriteFile(file, bytes, size, &written, nullptr) &&
                  written == size;
  const DWORD code = GetLastError();
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
  return ok || fail("writing", path, code);
}

// One registry value to write: text (of its type) or a DWORD; a null text
// with type REG_NONE deletes the value.
struct Value {
  const char16_t *name;
  DWORD type;
  const char16_t *text;
  DWORD number;
};

bool writeValues(const char16_t *keyPath, REGSAM view, std::initializer_list<Value> values) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_WRITE | view, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS)
    return fail("creating key", keyPath, static_cast<DWORD>(status));
  for (const Value &value : values) {
    if (value.type == REG_NONE) {
      status = RegDeleteValueW(key, value.name);
      if (status == static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND))
        status = ERROR_SUCCESS;
    } else if (value.type == REG_DWORD) {
      status = RegSetValueExW(key, value.name, 0, REG_DWORD,
                              reinterpret_cast<const BYTE *>(&value.number), sizeof(DWORD));
    } else {
      const auto bytes =
          static_cast<DWORD>((std::char_traits<char16_t>::length(value.text) + 1) * 2);
      status = RegSetValueExW(key, value.name, 0, value.type,
                              reinterpret_cast<const BYTE *>(value.text), bytes);
    }
    if (status != ERROR_SUCCESS)
      break;
  }
  RegCloseKey(key);
  return status == ERROR_SUCCESS || fail("writing values in", keyPath, static_cast<DWORD>(status));
}

// Turns the emulated machine into 32-bit Windows XP SP3, writing each fact
// where Windows keeps it. The processor goes last: until then the machine
// is 64-bit and its facts live in the native view.
bool makeWindowsXP() {
  const REGSAM native = KEY_WOW64_64KEY; // the machine's own view
  return writeValues(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", native,
                     {{u"CurrentVersion", REG_SZ, u"5.1", 0},
                      {u"CurrentBuildNumber", REG_SZ, u"2600", 0},
                      {u"CSDVersion", REG_SZ, u"Service Pack 3", 0}}) &&
         writeValues(u"SYSTEM\\CurrentControlSet\\Control\\Windows", native,
                     {{u"CSDVersion", REG_DWORD, nullptr, 0x300}}) &&
         writeValues(
             u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", native,
             {{u"Default", REG_NONE, nullptr, 0},
              {u"ProfilesDirectory", REG_EXPAND_SZ, u"%SystemDrive%\\Documents and Settings", 0},
              {u"DefaultUserProfile", REG_SZ, u"Default User", 0}}) &&
         writeValues(u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", native,
                     {{u"PROCESSOR_ARCHITECTURE", REG_SZ, u"x86", 0}});
}

// The folder that holds every user's profile, ending with "\".
bool profilesRoot(std::u16string &root) {
  WCHAR buffer[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!GetDefaultUserProfileDirectoryW(buffer, &size))
    return fail("asking for", u"the default user profile", GetLastError());
  root = buffer;
  root.erase(root.rfind(u'\\') + 1);
  return true;
}

bool extensionFiles(const std::u16string &folder) {
  return makeFolders(folder) && writeFile(folder + u"install.rdf", OLD_INSTALL_RDF) &&
         writeFile(folder + u"chrome.manifest", OLD_CHROME_MANIFEST);
}

bool setup(bool xp) {
  std::u16string root;
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  // A 32-bit suite: on 64-bit Windows its record is in the 32-bit view.
  if ((xp && !makeWindowsXP()) || !profilesRoot(root) ||
      !writeValues(
          SUITE_KEY, KEY_WOW64_32KEY,
          {{u"Version", REG_SZ, u"8.0.1", 0}, {u"InstallPath", REG_SZ, INSTALL_FOLDER, 0}}) ||
      !extensionFiles(std::u16string(INSTALL_FOLDER) + u"Qelt FireFox Extension\\"))
    return false;
  if (!GetVersionExW(&version))
    return fail("asking for", u"the Windows version", GetLastError());
  const char16_t *layout = version.dwMajorVersion < 6
                               ? u"\\Application Data\\Mozilla\\Firefox\\Profiles\\"
                               : u"\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\";
  for (const auto &user : USERS) {
    const std::u16string profile =
        root + user.user +
        (user.firefoxProfile ? layout + std::u16string(user.firefoxProfile) : u"") + u"\\";
    const std::string cache =
        std::string(SUITE_REGISTRATION) + OTHER_ENTRIES + (user.hasExtension ? SUITE_ENTRY : "");
    if (!makeFolders(profile) ||
        (user.firefoxProfile && !writeFile(profile + u"extensions.cache", cache.c_str())) ||
        (user.hasExtension && !extensionFiles(profile + u"extensions\\{" + EXTENSION_ID + u"}\\")))
      return false;
  }
  std::printf("install-folder=%s\nprofiles-root=%s\n", narrow(INSTALL_FOLDER).c_str(),
              narrow(root).c_str());
  return true;
}

// A string value of an open key, or a note that it is missing.
std::string readText(HKEY key, const char16_t *name) {
  WCHAR buffer[512] = {};
  DWORD type = 0;
  DWORD bytes = sizeof(buffer) - sizeof(WCHAR);
  const LSTATUS status =
      RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &bytes);
  return status == ERROR_SUCCESS && type == REG_SZ ? narrow(buffer) : "(missing)";
}

int show() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, PATCH_KEY, 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
      ERROR_SUCCESS) {
    std::printf("no patch record: HKLM\\%s is missing\n", narrow(PATCH_KEY).c_str());
    return 1;
  }
  std::printf("HKLM\\%s (32-bit view)\n  description = %s\n  updated     = %s\n",
              narrow(PATCH_KEY).c_str(), readText(key, u"description").c_str(),
              readText(key, u"updated").c_str());
  RegCloseKey(key);
  return 0;
}

// Switches the framework's logging on (to the text file `path`, with
// function tracing) or off, in both registry views: a 32-bit program such as
// the patch reads the one, 64-bit programs the other.
bool logging(const char *pszPath) {
  const std::string path = pszPath != nullptr ? pszPath : "";
  const std::u16string text(path.begin(), path.end());
  const DWORD on = pszPath != nullptr ? 1 : 0;
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
    if (!writeValues(u"SOFTWARE\\Korvel\\Logs", view,
                     {{u"Logging", REG_DWORD, nullptr, on},
                      {u"DynamicLogging", REG_DWORD, nullptr, on},
                      {u"LogDetail", on ? REG_DWORD : REG_NONE, nullptr, 0xFFF},
                      {u"TextOutput", on ? REG_SZ : REG_NONE, text.c_str(), 0}}))
      return false;
  return true;
}

} // namespace

int main(int argc, char **argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  const bool xp = argc == 3 && std::strcmp(argv[2], "--xp") == 0;
  if (command == "setup" && (argc == 2 || xp)) {
    if (xp && CurrentHost() != HostKind::Substitute) {
      // Windows keeps its version to itself; Wine takes the one it plays
      // from its own settings (HKCU\Software\Wine "Version").
      std::fprintf(stderr, "sample_machine: --xp only on the emulated machine\n");
      return 2;
    }
    return setup(xp) ? 0 : 1;
  }
  if (command == "show" && argc == 2)
    return show();
  if (command == "logging" && argc == 3)
    return logging(std::strcmp(argv[2], "off") == 0 ? nullptr : argv[2]) ? 0 : 1;
  std::fprintf(stderr, "usage: sample_machine setup [--xp] | show | logging <log file>|off\n");
  return 2;
}
