// zel_catch.h - the framework's catch sites, written once.
//
// Every framework method that can fail runs its body under two handlers: one
// for entries of the log hierarchy (written if nobody has written them yet)
// and a catch-all (recorded as CZELUnhandledExceptionException with an error
// code). After them a method either absorbs the failure (returns false),
// translates it (throws its own class's exception) or rethrows it.
#pragma once

#include "zel_exceptions.h"

#include <type_traits>
#include <utility>

// Where the catch-all takes the error code it records.
enum class CZELErrorSource { esErrno, esLastError, esNone };

// Handler 1: write a caught entry unless it has been written.
inline void zelLogCaught(CZELLogging &rEntry) noexcept {
  if (!rEntry.isLogged())
    rEntry.log();
}

// Handler 2: record a foreign exception, with the error code of eSource.
void zelLogUnhandled(CZELErrorSource eSource, const ZEL_USHORT *pszSourceFile,
                     ZEL_ULONG ulLine) noexcept;

// Runs body under both handlers and returns its result (true for a body that
// returns nothing); any failure is logged and gives false.
template <class Body>
bool zelAbsorb(const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine, CZELErrorSource eSource,
               Body &&body) noexcept {
  try {
    if constexpr (std::is_void_v<decltype(body())>) {
      body();
      return true;
    } else {
      return static_cast<bool>(body());
    }
  } catch (CZELLogging &rEntry) {
    zelLogCaught(rEntry);
  } catch (...) {
    zelLogUnhandled(eSource, pszSourceFile, ulLine);
  }
  return false;
}

// Runs body under both handlers: a failure of the log hierarchy is logged and
// gives false, a foreign exception is recorded and passed on unchanged.
template <class Body>
bool zelAbsorbLogged(const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine, CZELErrorSource eSource,
                     Body &&body) {
  try {
    return static_cast<bool>(body());
  } catch (CZELLogging &rEntry) {
    zelLogCaught(rEntry);
  } catch (...) {
    zelLogUnhandled(eSource, pszSourceFile, ulLine);
    throw;
  }
  return false;
}

// Runs body under both handlers; any failure is logged and replaced by
// Translated built from args (the caller's own exception class).
template <class Translated, class Body, class... Args>
decltype(auto) zelTranslate(const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine,
                            CZELErrorSource eSource, Body &&body, Args &&...args) {
  try {
    return body();
  } catch (CZELLogging &rEntry) {
    zelLogCaught(rEntry);
  } catch (...) {
    zelLogUnhandled(eSource, pszSourceFile, ulLine);
  }
  throw Translated(std::forward<Args>(args)...);
}

// Runs body under both handlers; any failure is logged and then passed on
// unchanged.
template <class Body>
decltype(auto) zelRethrow(const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine,
                          CZELErrorSource eSource, Body &&body) {
  try {
    return body();
  } catch (CZELLogging &rEntry) {
    zelLogCaught(rEntry);
    throw;
  } catch (...) {
    zelLogUnhandled(eSource, pszSourceFile, ulLine);
    throw;
  }
}
