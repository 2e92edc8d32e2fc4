//===- Ui.cpp - Message boxes on Windows -----------------------------------===//
//
// A thin forwarder to user32. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/ui.h"
#include "WindowsSupport.h"

namespace zelsys {

INT MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  return ::MessageBoxW(reinterpret_cast<::HWND>(hWnd), win32::wide(lpText), win32::wide(lpCaption),
                       uType);
}

} // namespace zelsys
