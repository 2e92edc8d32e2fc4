#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest. The prefix is $WINEPREFIX when
# set, else $ZEL_DEFAULT_WINEPREFIX (the test preset's, beside the build); it
# is created on first use.
set -eu
export WINEPREFIX="${WINEPREFIX:-${ZEL_DEFAULT_WINEPREFIX:-$(pwd)/wine-prefix}}"
export WINEDEBUG="${WINEDEBUG:--all}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
fi
exec wine "$@"
