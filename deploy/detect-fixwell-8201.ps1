# detect-fixwell-8201.ps1 - detection script for patch 8201, for Intune
# (Win32 app) and Configuration Manager (script detection method) alike.
#
# Detected: prints one line and exits 0. Not detected: prints nothing and
# exits 0. Both tools read "exit 0 with output" as installed; Intune reads
# every other result as not installed, but Configuration Manager reads a
# non-zero exit as a failed detection rather than "not installed", so the
# absent case must be silent and 0 as well.
#
# The patch is a 32-bit program and records itself in the 32-bit registry
# view. The tools may run this script as a 32-bit or a 64-bit process, so
# the key is chosen by this process's bitness: a 32-bit process (on 32-bit
# Windows or under WOW64) sees the 32-bit view as HKLM\Software, a 64-bit
# process sees it as HKLM\Software\Wow6432Node. This needs nothing beyond
# PowerShell 2.0 (Windows 7's), unlike RegistryKey.OpenBaseKey (.NET 4).
$RecordKey32 = 'HKLM:\Software\Korvel\Velmora\Patch\8201'
$RecordKey64 = 'HKLM:\Software\Wow6432Node\Korvel\Velmora\Patch\8201'

if ([IntPtr]::Size -eq 4) {
    $key = $RecordKey32
} else {
    $key = $RecordKey64
}
if (Test-Path -LiteralPath $key) {
    Write-Output 'Patch 8201 is installed.'
}
exit 0
