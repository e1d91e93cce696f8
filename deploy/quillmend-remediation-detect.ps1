# Intune Remediations, detection: runs the installed check, with /registry when
# the script runs as SYSTEM and /user when it runs with the logged-on user's
# credentials. Prints the check's output, its verdict line last (Remediations
# shows the last line), nothing on standard error, and exits 0 when the check
# says nothing is left to clean, 1 otherwise (work left, or it cannot tell).
# The programs write the ANSI code page, read as such.
try { [Console]::OutputEncoding = [Text.Encoding]::Default } catch { }
$folder = ${env:ProgramFiles(x86)}; if (-not $folder) { $folder = $env:ProgramFiles }
$base = Join-Path $folder 'Quillmend'
# The installed release: the highest folder named by a version (3.0.0, 3.0.0+1) holding the check and
# no "retired" mark, as quillmend-run.exe /install leaves them; none when $null.
$installed = Get-ChildItem -LiteralPath $base -Directory -ErrorAction SilentlyContinue | Where-Object {
    $_.Name -match '^\d+\.\d+\.\d+(\+\d+)?$' -and (Test-Path -LiteralPath "$($_.FullName)\quillmend-check.exe") -and
    -not (Test-Path -LiteralPath "$($_.FullName)\retired") } | Sort-Object { [version]($_.Name -replace '\+', '.') } |
    Select-Object -Last 1
$scope = '/user'
if ([Security.Principal.WindowsIdentity]::GetCurrent().User.Value -eq 'S-1-5-18') { $scope = '/registry' }
if (-not $installed) {
    "quillmend-check.exe is not installed under $base (the Quillmend (system) app installs it)"
    exit 1
}
$check = Join-Path $installed.FullName 'quillmend-check.exe'
$lines = @(& $check $scope 2>&1 | ForEach-Object { "$_" })
$code = $LASTEXITCODE
$lines | Where-Object { $_ -notlike 'verdict: *' }
$lines | Where-Object { $_ -like 'verdict: *' } | Select-Object -Last 1
if ($code -eq 0) { exit 0 }
exit 1
