//===- zelsys/winconst.h - Windows constants, portably ---------------------===//
//
// The Windows constants the framework uses, with their Windows values. The
// Windows implementation takes the system's own definitions instead.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/registry.h"
#include "zelsys/wintypes.h"

namespace zelsys {

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

// Win32 error codes (winerror.h values).
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_OUTOFMEMORY = 14;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_ENVVAR_NOT_FOUND = 203;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_BAD_PATHNAME = 161;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_BADDB = 1009;
constexpr DWORD ERROR_BADKEY = 1010;
constexpr DWORD ERROR_CANTOPEN = 1011;
constexpr DWORD ERROR_CANTREAD = 1012;
constexpr DWORD ERROR_CANTWRITE = 1013;
constexpr DWORD ERROR_KEY_DELETED = 1018;
constexpr DWORD ERROR_CHILD_MUST_BE_VOLATILE = 1021;
constexpr DWORD ERROR_NOT_ALL_ASSIGNED = 1300;
constexpr DWORD ERROR_NO_SUCH_PRIVILEGE = 1313;
constexpr DWORD ERROR_PRIVILEGE_NOT_HELD = 1314;
constexpr DWORD ERROR_INVALID_COMPUTERNAME = 1210;
constexpr DWORD ERROR_NOT_LOCKED = 158;
constexpr DWORD ERROR_INVALID_ADDRESS = 487;
constexpr DWORD ERROR_NOACCESS = 998;
constexpr DWORD ERROR_WORKING_SET_QUOTA = 1453;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_BAD_NETPATH = 53;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_FILE_TOO_LARGE = 223;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD ERROR_NOT_OWNER = 288;
constexpr DWORD ERROR_CANT_ACCESS_FILE = 1920;
constexpr DWORD ERROR_NO_SYSTEM_RESOURCES = 1450;
constexpr DWORD ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr DWORD ERROR_RESOURCE_LANG_NOT_FOUND = 1815;
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_INVALID_MSGBOX_STYLE = 1438;

// Page allocation (VirtualAlloc, VirtualFree) and page protection.
constexpr DWORD MEM_COMMIT = 0x1000;
constexpr DWORD MEM_RESERVE = 0x2000;
constexpr DWORD MEM_DECOMMIT = 0x4000;
constexpr DWORD MEM_RELEASE = 0x8000;
constexpr DWORD PAGE_NOACCESS = 0x01;
constexpr DWORD PAGE_READONLY = 0x02;
constexpr DWORD PAGE_READWRITE = 0x04;

// Longest path the ANSI-era calls accept, terminator included.
constexpr DWORD MAX_PATH = 260;

// Files: access, sharing, dispositions, attributes, pointer moves, the
// failure values and move options.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD WRITE_DAC = 0x00040000u;
constexpr DWORD WRITE_OWNER = 0x00080000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
// Without FILE_WRITE_DATA, a handle with FILE_APPEND_DATA writes only at the
// end of the file, wherever others have moved it.
constexpr DWORD FILE_WRITE_DATA = 0x0002;
constexpr DWORD FILE_APPEND_DATA = 0x0004;
constexpr DWORD SYNCHRONIZE = 0x00100000u;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x4;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000u;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;
constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;

// Waiting, threads and handle duplication.
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_ABANDONED_0 = 0x80;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;
constexpr DWORD QS_ALLINPUT = 0x4FF;
constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD DUPLICATE_CLOSE_SOURCE = 0x1;
constexpr DWORD DUPLICATE_SAME_ACCESS = 0x2;

// Registry roots: the system's predefined handles (sign-extended, as
// Windows defines them).
inline HKEY predefinedKey(LONG lValue) {
  return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(lValue));
}
inline const HKEY HKEY_CLASSES_ROOT = predefinedKey(static_cast<LONG>(0x80000000));
inline const HKEY HKEY_CURRENT_USER = predefinedKey(static_cast<LONG>(0x80000001));
inline const HKEY HKEY_LOCAL_MACHINE = predefinedKey(static_cast<LONG>(0x80000002));
inline const HKEY HKEY_USERS = predefinedKey(static_cast<LONG>(0x80000003));
inline const HKEY HKEY_CURRENT_CONFIG = predefinedKey(static_cast<LONG>(0x80000005));

// Registry access rights and views.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Key options, dispositions and restore flags.
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_OPTION_VOLATILE = 1;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;
constexpr DWORD REG_FORCE_RESTORE = 8;

// Token access rights and privileges.
constexpr DWORD TOKEN_QUERY = 0x0008;
constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
constexpr DWORD SE_PRIVILEGE_ENABLED = 0x00000002;
inline constexpr char16_t SE_BACKUP_NAME[] = u"SeBackupPrivilege";
inline constexpr char16_t SE_RESTORE_NAME[] = u"SeRestorePrivilege";
inline constexpr char16_t SE_SHUTDOWN_NAME[] = u"SeShutdownPrivilege";
inline constexpr char16_t SE_TAKE_OWNERSHIP_NAME[] = u"SeTakeOwnershipPrivilege";

// File security (filesecurity.h): errors, rights, descriptor and entry flags,
// well-known SID parts and local allocation flags.
constexpr DWORD ERROR_UNKNOWN_REVISION = 1305;
constexpr DWORD ERROR_REVISION_MISMATCH = 1306;
constexpr DWORD ERROR_INVALID_OWNER = 1307;
constexpr DWORD ERROR_NONE_MAPPED = 1332;
constexpr DWORD ERROR_INVALID_ACL = 1336;
constexpr DWORD ERROR_INVALID_SID = 1337;
constexpr DWORD ERROR_INVALID_SECURITY_DESCR = 1338;
constexpr DWORD ERROR_ALLOTTED_SPACE_EXCEEDED = 1344;
constexpr DWORD GENERIC_EXECUTE = 0x20000000u;
constexpr DWORD GENERIC_ALL = 0x10000000u;
constexpr DWORD FILE_ALL_ACCESS = 0x001F01FFu;
constexpr DWORD FILE_GENERIC_READ = 0x00120089u;
constexpr DWORD FILE_GENERIC_WRITE = 0x00120116u;
constexpr DWORD FILE_GENERIC_EXECUTE = 0x001200A0u;
constexpr DWORD OWNER_SECURITY_INFORMATION = 0x1;
constexpr DWORD GROUP_SECURITY_INFORMATION = 0x2;
constexpr DWORD DACL_SECURITY_INFORMATION = 0x4;
constexpr DWORD SACL_SECURITY_INFORMATION = 0x8;
constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
constexpr DWORD ACL_REVISION = 2;
constexpr BYTE ACCESS_ALLOWED_ACE_TYPE = 0;
constexpr BYTE ACCESS_DENIED_ACE_TYPE = 1;
constexpr BYTE OBJECT_INHERIT_ACE = 0x01;
constexpr BYTE CONTAINER_INHERIT_ACE = 0x02;
constexpr BYTE NO_PROPAGATE_INHERIT_ACE = 0x04;
constexpr BYTE INHERIT_ONLY_ACE = 0x08;
constexpr BYTE INHERITED_ACE = 0x10;
constexpr WORD SE_OWNER_DEFAULTED = 0x0001;
constexpr WORD SE_GROUP_DEFAULTED = 0x0002;
constexpr WORD SE_DACL_PRESENT = 0x0004;
constexpr WORD SE_DACL_DEFAULTED = 0x0008;
constexpr WORD SE_DACL_AUTO_INHERIT_REQ = 0x0100;
constexpr WORD SE_SACL_AUTO_INHERIT_REQ = 0x0200;
constexpr WORD SE_DACL_AUTO_INHERITED = 0x0400;
constexpr WORD SE_SACL_AUTO_INHERITED = 0x0800;
constexpr WORD SE_DACL_PROTECTED = 0x1000;
constexpr WORD SE_SACL_PROTECTED = 0x2000;
constexpr WORD SE_SELF_RELATIVE = 0x8000;
constexpr DWORD SECURITY_BUILTIN_DOMAIN_RID = 32;
constexpr DWORD DOMAIN_ALIAS_RID_ADMINS = 544;
constexpr DWORD DOMAIN_ALIAS_RID_USERS = 545;
constexpr DWORD SECURITY_MAX_SID_SIZE = 68;
constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;

// Shutdown requests (shutdown.h).
constexpr UINT EWX_LOGOFF = 0x00000000;
constexpr UINT EWX_SHUTDOWN = 0x00000001;
constexpr UINT EWX_REBOOT = 0x00000002;
constexpr UINT EWX_FORCE = 0x00000004;
constexpr UINT EWX_POWEROFF = 0x00000008;
constexpr UINT EWX_FORCEIFHUNG = 0x00000010;
constexpr DWORD MAX_SHUTDOWN_TIMEOUT = 10 * 365 * 24 * 60 * 60;

// The running Windows: processor architectures (SYSTEM_INFO), the platform,
// product types and suites (OSVERSIONINFOEXW), and the shell's IsOS queries.
constexpr WORD PROCESSOR_ARCHITECTURE_INTEL = 0;
constexpr WORD PROCESSOR_ARCHITECTURE_IA64 = 6;
constexpr WORD PROCESSOR_ARCHITECTURE_AMD64 = 9;
constexpr WORD PROCESSOR_ARCHITECTURE_IA32_ON_WIN64 = 10;
constexpr WORD PROCESSOR_ARCHITECTURE_UNKNOWN = 0xFFFF;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
constexpr BYTE VER_NT_WORKSTATION = 1;
constexpr BYTE VER_NT_DOMAIN_CONTROLLER = 2;
constexpr BYTE VER_NT_SERVER = 3;
constexpr WORD VER_SUITE_TERMINAL = 0x0010;
constexpr WORD VER_SUITE_SINGLEUSERTS = 0x0100;
constexpr DWORD OS_NT = 1;
constexpr DWORD OS_XPORGREATER = 18;
constexpr DWORD OS_FASTUSERSWITCHING = 26;
constexpr DWORD OS_WELCOMELOGONUI = 27;
constexpr DWORD OS_DOMAINMEMBER = 28;
// Undocumented and without a name in the system headers: Windows Vista or
// later.
constexpr DWORD OS_VISTAORGREATER = 37;

// Machine names, shell folders, accounts and WMI results.
constexpr DWORD ERROR_BUFFER_OVERFLOW = 111;
constexpr DWORD ERROR_INVALID_LEVEL = 124;
constexpr DWORD MAX_COMPUTERNAME_LENGTH = 15;
constexpr int CSIDL_COMMON_APPDATA = 0x0023;
constexpr int CSIDL_FLAG_DONT_VERIFY = 0x4000;
constexpr int CSIDL_FLAG_CREATE = 0x8000;
constexpr int CSIDL_FLAG_MASK = 0xFF00;
constexpr DWORD SHGFP_TYPE_CURRENT = 0;
constexpr DWORD SHGFP_TYPE_DEFAULT = 1;
constexpr DWORD NERR_Success = 0;
constexpr DWORD FILTER_NORMAL_ACCOUNT = 0x0002;
constexpr DWORD MAX_PREFERRED_LENGTH = 0xFFFFFFFFu;
constexpr LONG S_OK = 0;
constexpr LONG E_FAIL = static_cast<LONG>(0x80004005u);
constexpr LONG E_INVALIDARG = static_cast<LONG>(0x80070057u);
constexpr LONG WBEM_E_NOT_FOUND = static_cast<LONG>(0x80041002u);
constexpr LONG WBEM_E_INVALID_NAMESPACE = static_cast<LONG>(0x8004100Eu);
constexpr LONG WBEM_E_INVALID_CLASS = static_cast<LONG>(0x80041010u);
constexpr LONG WBEM_E_TYPE_MISMATCH = static_cast<LONG>(0x80041005u);

// Message boxes: the button sets, the icons and the answers.
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_RETRYCANCEL = 0x5;
constexpr UINT MB_TYPEMASK = 0xF;
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONASTERISK = 0x40;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_ICONMASK = 0xF0;
constexpr INT IDOK = 1;
constexpr INT IDCANCEL = 2;
constexpr INT IDABORT = 3;
constexpr INT IDRETRY = 4;
constexpr INT IDIGNORE = 5;
constexpr INT IDYES = 6;
constexpr INT IDNO = 7;

// An export's ordinal where GetProcAddress takes a name.
inline LPCSTR MAKEINTRESOURCEA(WORD wInteger) {
  return reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(wInteger));
}

// A numbered resource type or name where FindResourceW takes a name, and
// whether a name is such a number.
inline LPCWSTR MAKEINTRESOURCEW(WORD wInteger) {
  return reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(wInteger));
}
inline bool IS_INTRESOURCE(LPCWSTR lpName) {
  return reinterpret_cast<std::uintptr_t>(lpName) >> 16 == 0;
}
// Resource types.
inline const LPCWSTR RT_STRING = MAKEINTRESOURCEW(6);
inline const LPCWSTR RT_RCDATA = MAKEINTRESOURCEW(10);
inline const LPCWSTR RT_VERSION = MAKEINTRESOURCEW(16);

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

// Cryptographic provider types and flags.
constexpr DWORD PROV_RSA_FULL = 1;
constexpr DWORD LOAD_WITH_ALTERED_SEARCH_PATH = 8;
constexpr DWORD CRYPT_VERIFYCONTEXT = 0xF0000000;

} // namespace zelsys
