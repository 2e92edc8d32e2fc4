/* probe_program.c - a program for the test of the Windows XP import check:
 * built plainly it imports only what XP has; built with VISTA_ONLY it
 * imports a function that Windows Vista brought and says in its header that
 * it needs Vista. */
#ifdef VISTA_ONLY
#define _WIN32_WINNT 0x0600
#endif
#include <windows.h>

int wmain(void) {
#ifdef VISTA_ONLY
  return GetTickCount64() == 0;
#else
  return GetTickCount() == 0;
#endif
}
