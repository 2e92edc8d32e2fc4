//===- zelsys/environment.h - The process environment ----------------------===//
//
// Reading and writing one variable of the process environment, with the
// Windows names, argument order, results and error behaviour. Names compare
// case-insensitively, as on Windows.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

namespace zelsys {

// Copies the value of lpName and a terminator into lpBuffer and returns the
// value's length without the terminator. When nSize units are too few, the
// buffer is left alone and the result is the size needed, terminator
// included. An unset variable gives 0 with ERROR_ENVVAR_NOT_FOUND.
DWORD GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize);

// Sets lpName to lpValue; a null lpValue removes the variable. Failure gives
// FALSE and sets the last-error value.
BOOL SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue);

} // namespace zelsys
