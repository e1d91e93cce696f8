# Intune Remediations, detection: runs the installed check, with /registry when
# the script runs as SYSTEM and /user when it runs with the logged-on user's
# credentials. Prints the check's output, its verdict line last (Remediations
# shows the last line), nothing on standard error, and exits 0 when the check
# says nothing is left to clean, 1 otherwise (work left, or it cannot tell).
# The programs write the ANSI code page, read as such.
try { [Console]::OutputEncoding = [Text.Encoding]::Default } catch { }
$folder = ${env:ProgramFiles(x86)}; if (-not $folder) { $folder = $env:ProgramFiles }
$check = Join-Path $folder 'Quillmend\quillmend-check.exe'
$scope = '/user'
if ([Security.Principal.WindowsIdentity]::GetCurrent().User.Value -eq 'S-1-5-18') { $scope = '/registry' }
if (-not (Test-Path -LiteralPath $check -PathType Leaf)) {
    "quillmend-check.exe is not installed at $check (the Quillmend (system) app installs it)"
    exit 1
}
$lines = @(& $check $scope 2>&1 | ForEach-Object { "$_" })
$code = $LASTEXITCODE
$lines | Where-Object { $_ -notlike 'verdict: *' }
$lines | Where-Object { $_ -like 'verdict: *' } | Select-Object -Last 1
if ($code -eq 0) { exit 0 }
exit 1
