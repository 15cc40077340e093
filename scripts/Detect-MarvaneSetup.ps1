# Detect-MarvaneSetup.ps1: the detection script for Intune (Win32 app,
# "Use a custom detection script") and Configuration Manager (deployment
# type, detection method "Use a custom script", PowerShell).
#
# Prints one line, and only when every Marvane data source of this year is
# registered and complete: the five current ones and five for every archive
# year from 2002 to last year, each a key with a Driver value and an entry
# under "ODBC Data Sources". Always exits 0: both tools read output with
# exit status 0 as "installed", no output as "not installed", and a
# non-zero exit status as a failed detection. On 1 January last year moves
# on, five data sources are missing, and the tools run the install again.
#
# It reads the 32-bit registry view, where MarvaneSetup registers the data
# sources for the 32-bit Access driver, from 32- or 64-bit PowerShell (Intune's
# "Run script as 32-bit process" either way), PowerShell 2.0 and later.

$ErrorActionPreference = 'SilentlyContinue'
$lastYear = (Get-Date).Year - 1

if ([IntPtr]::Size -eq 8) {
  $branch = 'HKLM:\SOFTWARE\WOW6432Node\ODBC\ODBC.INI' # 64-bit PowerShell
} else {
  $branch = 'HKLM:\SOFTWARE\ODBC\ODBC.INI' # 32-bit PowerShell
}
$list = 'ODBC Data Sources'
$suffixes = '-R', '-R1', '-S', '-S1', '-S2'

$names = @()
foreach ($suffix in $suffixes) { $names += "Marvane$suffix" }
for ($year = 2002; $year -le $lastYear; $year++) {
  foreach ($suffix in $suffixes) { $names += "MV$year$suffix" }
}

$listed = Get-ItemProperty -LiteralPath "$branch\$list" -ErrorAction SilentlyContinue
if ($null -eq $listed) { exit 0 }
foreach ($name in $names) {
  $key = Get-ItemProperty -LiteralPath "$branch\$name" -ErrorAction SilentlyContinue
  if ($null -eq $key -or $null -eq $key.PSObject.Properties['Driver'] -or
      $null -eq $listed.PSObject.Properties[$name]) { exit 0 }
}
Write-Output "Marvane data sources: all $($names.Count) registered (archive years 2002 to $lastYear)"
exit 0
