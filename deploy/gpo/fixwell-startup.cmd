@echo off
rem fixwell-startup.cmd - applies patch 8201 as a Group Policy computer
rem startup script: once per machine, silently, with one line per run in a
rem log on the machine.
rem
rem   fixwell-startup.cmd [release folder] [log file]
rem
rem The release folder holds fixwell.exe, install.rdf and chrome.manifest,
rem readable by the computer accounts (the script runs as SYSTEM). Without
rem it: this script's own folder when fixwell.exe lies there, else the
rem release two folders up (the script's place in the unpacked release).
rem The log defaults to %SystemRoot%\Temp\fixwell-8201.log.
rem
rem Exit code: 0 when the patch record is there (patched now or before),
rem 1 when it is still missing. The patch itself always exits 0, so its
rem record is the only sign of success.
rem
rem Paths are only ever used in quotes and no block is bracketed, so a
rem folder name with brackets or "&" cannot break the script.
setlocal EnableExtensions

set "PATCH_KEY=HKLM\Software\Korvel\Velmora\Patch\8201"
set "SUITE_KEY=HKLM\Software\Korvel\Velmora"

set "RELEASE=%~1"
if defined RELEASE goto release_given
set "RELEASE=%~dp0"
if not exist "%RELEASE%fixwell.exe" for %%I in ("%~dp0..\..") do set "RELEASE=%%~fI"
:release_given
if not "%RELEASE:~-1%"=="\" set "RELEASE=%RELEASE%\"
set "LOG=%~2"
if not defined LOG set "LOG=%SystemRoot%\Temp\fixwell-8201.log"

rem The patch is a 32-bit program: its record, like the suite's, lies in the
rem 32-bit registry view. A 32-bit cmd.exe (on 32-bit Windows, XP included,
rem or under WOW64) starts the 32-bit reg.exe, which sees that view without
rem a switch; XP's reg.exe would refuse /reg:32. A 64-bit cmd.exe, as Group
rem Policy runs scripts on 64-bit Windows, starts the 64-bit reg.exe, which
rem needs /reg:32 (Vista and later). XP x64 and Server 2003 x64 have a
rem reg.exe without it unless updated; there the 32-bit view is
rem Software\Wow6432Node of the 64-bit one, so that key is asked for instead.
set "REG_VIEW=/reg:32"
if /i "%PROCESSOR_ARCHITECTURE%"=="x86" set "REG_VIEW="
if not defined REG_VIEW goto view_chosen
reg query "HKLM\Software" %REG_VIEW% >nul 2>&1
if not errorlevel 1 goto view_chosen
set "REG_VIEW="
set "PATCH_KEY=HKLM\Software\Wow6432Node\Korvel\Velmora\Patch\8201"
set "SUITE_KEY=HKLM\Software\Wow6432Node\Korvel\Velmora"
:view_chosen

call :recorded
if errorlevel 1 goto patch
call :log "already patched"
exit /b 0

:patch
set "MISSING="
for %%F in (fixwell.exe install.rdf chrome.manifest) do if not exist "%RELEASE%%%F" set "MISSING=%%F"
if not defined MISSING goto run
call :log "NOT patched: %MISSING% not found in %RELEASE%"
exit /b 1

:run
rem "start /wait" makes cmd.exe wait for the program, a GUI one, to end.
start "" /wait "%RELEASE%fixwell.exe" /s
call :recorded
if errorlevel 1 goto failed
call :log "patched from %RELEASE%"
exit /b 0

:failed
rem The patch applies only to the suite at version 8: the version found
rem tells a machine without it from a failed run.
set "SUITE_VERSION=none"
for /f "tokens=2,*" %%A in ('reg query "%SUITE_KEY%" /v Version %REG_VIEW% 2^>nul ^| find "REG_SZ"') do set "SUITE_VERSION=%%B"
call :log "NOT patched: no record after the run, suite version %SUITE_VERSION%"
exit /b 1

rem Sets the exit code: 0 when the patch record exists, 1 when it does not.
:recorded
reg query "%PATCH_KEY%" %REG_VIEW% >nul 2>&1
if errorlevel 1 exit /b 1
exit /b 0

rem Appends one line to the log; the text goes through delayed expansion so
rem that "&" or ">" in a path stays text.
:log
setlocal EnableDelayedExpansion
set "LINE=%DATE% %TIME% %COMPUTERNAME% patch 8201: %~1"
>>"%LOG%" echo !LINE!
endlocal
exit /b 0
