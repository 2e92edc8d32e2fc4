//===- ShutdownRecord.cpp - Shutdown requests that are recorded, not made --===//
//
// Code that is the same on every platform: it reaches the system only
// through the platform interface and the two hooks of ShutdownRecord.h.
//
//===----------------------------------------------------------------------===//
#include "ShutdownRecord.h"
#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

#include <cstdio>

namespace zelsys::common {

namespace {

BOOL fail(DWORD dwError) {
  SetLastError(dwError);
  return FALSE;
}

void appendUtf8(std::string &out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The message as UTF-8 on one line: the separators and line ends a message
// may hold are escaped, a lone surrogate becomes U+FFFD.
std::string escapedMessage(LPCWSTR lpMessage) {
  std::string out;
  if (lpMessage == nullptr)
    return out;
  for (const char16_t *p = lpMessage; *p != u'\0'; ++p) {
    char32_t c = *p;
    if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    switch (c) {
    case U'\\':
      out += "\\\\";
      break;
    case U'\t':
      out += "\\t";
      break;
    case U'\r':
      out += "\\r";
      break;
    case U'\n':
      out += "\\n";
      break;
    default:
      appendUtf8(out, c);
    }
  }
  return out;
}

std::string hex(DWORD dwValue) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(dwValue));
  return text;
}

BOOL record(std::string_view kind, DWORD dwFlags, DWORD dwReason, DWORD dwTimeout,
            LPCWSTR lpMessage) {
  const DWORD dwError = appendShutdownRecord(shutdownRecordLine(
      std::chrono::system_clock::now(), kind, dwFlags, dwReason, dwTimeout, lpMessage));
  return dwError == ERROR_SUCCESS ? TRUE : fail(dwError);
}

} // namespace

std::string shutdownRecordLine(std::chrono::system_clock::time_point when, std::string_view kind,
                               DWORD dwFlags, DWORD dwReason, DWORD dwTimeout, LPCWSTR lpMessage) {
  using namespace std::chrono;
  const auto seconds = floor<std::chrono::seconds>(when);
  const auto day = floor<days>(seconds);
  const year_month_day date(day);
  const hh_mm_ss<std::chrono::seconds> time(seconds - day);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()));
  std::string line = stamp;
  line.append("\t").append(kind);
  line.append("\t").append(hex(dwFlags));
  line.append("\t").append(hex(dwReason));
  line.append("\t").append(std::to_string(dwTimeout));
  line.append("\t").append(escapedMessage(lpMessage));
  line += '\n';
  return line;
}

BOOL recordExitWindows(UINT uFlags, DWORD dwReason) {
  // The strongest action named wins, as powering off includes shutting down.
  std::string_view kind = "log off";
  if (uFlags & EWX_POWEROFF)
    kind = "power off";
  else if (uFlags & EWX_REBOOT)
    kind = "restart";
  else if (uFlags & EWX_SHUTDOWN)
    kind = "shut down";
  // Logging off ends only the caller's session and needs no privilege.
  const bool bNeedsPrivilege = (uFlags & (EWX_SHUTDOWN | EWX_REBOOT | EWX_POWEROFF)) != 0;
  if (bNeedsPrivilege && !shutdownPrivilegeEnabled())
    return fail(ERROR_PRIVILEGE_NOT_HELD);
  return record(kind, uFlags, dwReason, 0, nullptr);
}

BOOL recordSystemShutdown(LPCWSTR lpMachineName, LPCWSTR lpMessage, DWORD dwTimeout,
                          BOOL bForceAppsClosed, BOOL bRebootAfterShutdown) {
  // Only this machine can be recorded; another one would be reached over
  // the network.
  if (lpMachineName != nullptr && lpMachineName[0] != u'\0')
    return fail(ERROR_BAD_NETPATH);
  if (dwTimeout > MAX_SHUTDOWN_TIMEOUT)
    return fail(ERROR_INVALID_PARAMETER);
  if (!shutdownPrivilegeEnabled())
    return fail(ERROR_PRIVILEGE_NOT_HELD);
  const DWORD dwFlags =
      (bRebootAfterShutdown ? EWX_REBOOT : EWX_SHUTDOWN) | (bForceAppsClosed ? EWX_FORCE : 0);
  return record(bRebootAfterShutdown ? "timed restart" : "timed shut down", dwFlags, 0, dwTimeout,
                lpMessage);
}

} // namespace zelsys::common
