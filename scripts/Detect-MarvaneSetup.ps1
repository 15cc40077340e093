# Detect-MarvaneSetup.ps1: the detection script for Intune (Win32 app, "Use a
# custom detection script") and Configuration Manager (deployment type,
# detection method "Use a custom script to detect the presence of this
# deployment type", PowerShell). With the MSI a product-code rule is enough
# (its task at every start brings each new year's data sources); this script
# is for the bare exe.
#
# Prints one line, and only when every Marvane data source of this year is
# registered and complete: the five current ones and five for every archive
# year from 2002 to last year, each a key with a Driver value and an entry
# under "ODBC Data Sources". Always exits 0 and writes nothing to standard
# error. What the tools make of it, as Microsoft documents them:
# - Intune: exit status 0 with output on STDOUT is "installed"; a non-zero
#   exit status is "not installed", and so is output on STDERR (the agent
#   reads both streams and the exit status).
# - Configuration Manager: exit status 0 with output on STDOUT is
#   "Installed", exit status 0 with none is "Not installed"; a non-zero exit
#   status, or exit status 0 with STDERR but no STDOUT, is "Unknown". Its
#   default client setting "PowerShell execution policy" is "All Signed": it
#   runs this script only signed by a publisher the clients trust
#   (scripts/package-windows.sh signs it).
# On 1 January last year moves on, five data sources are missing, and the
# tools run the install again.
#
# Written for PowerShell's Constrained Language mode (under AppLocker or WDAC
# script enforcement, an unsigned or untrusted script runs in it): no .NET
# types, no methods, nothing beyond cmdlets, variables and operators. It
# reads the 32-bit registry view, where MarvaneSetup registers the data
# sources for the 32-bit Access driver. A 32-bit PowerShell (Intune's "Run
# script as 32-bit process on 64-bit clients", or any PowerShell on 32-bit
# Windows) has PROCESSOR_ARCHITECTURE x86 (PROCESSOR_ARCHITEW6432 names the
# 64-bit processor, on 64-bit Windows only) and sees that view at the plain
# path; a 64-bit one (AMD64, ARM64) sees it under WOW6432Node. PowerShell
# 2.0 and later. Saved as UTF-8 with a byte order mark and CRLF line ends,
# as Authenticode signing of a script needs.

$ErrorActionPreference = 'SilentlyContinue'
$lastYear = (Get-Date).Year - 1

if ($env:PROCESSOR_ARCHITECTURE -eq 'x86') {
  $branch = 'HKLM:\SOFTWARE\ODBC\ODBC.INI' # 32-bit PowerShell
} else {
  $branch = 'HKLM:\SOFTWARE\WOW6432Node\ODBC\ODBC.INI' # 64-bit PowerShell
}
$list = "$branch\ODBC Data Sources"
$suffixes = '-R', '-R1', '-S', '-S1', '-S2'

$names = @()
foreach ($suffix in $suffixes) { $names += "Marvane$suffix" }
for ($year = 2002; $year -le $lastYear; $year++) {
  foreach ($suffix in $suffixes) { $names += "MV$year$suffix" }
}

foreach ($name in $names) {
  $driver = Get-ItemProperty -LiteralPath "$branch\$name" -Name 'Driver' -ErrorAction SilentlyContinue
  $entry = Get-ItemProperty -LiteralPath $list -Name $name -ErrorAction SilentlyContinue
  if ($null -eq $driver -or $null -eq $entry) { exit 0 }
}
Write-Output "Marvane data sources: all $($names.Count) registered (archive years 2002 to $lastYear)"
exit 0
