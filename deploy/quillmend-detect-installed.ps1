# Detection for retiring or rolling back Quillmend (system), for Intune and
# Configuration Manager: "installed" (text on standard output, exit code 0)
# whenever any release is installed, whatever registry work is left, so that
# an uninstall reaches every machine that has the programs; otherwise nothing
# and exit code 0. Put it in place of quillmend-detect-registry.ps1 before
# assigning the uninstall.
$folder = ${env:ProgramFiles(x86)}; if (-not $folder) { $folder = $env:ProgramFiles }
$base = Join-Path $folder 'Quillmend'
# The installed release: the highest folder named by a version (3.0.0, 3.0.0+1) holding the check and
# no "retired" mark, as quillmend-run.exe /install leaves them; none when $null.
$installed = Get-ChildItem -LiteralPath $base -Directory -ErrorAction SilentlyContinue | Where-Object {
    $_.Name -match '^\d+\.\d+\.\d+(\+\d+)?$' -and (Test-Path -LiteralPath "$($_.FullName)\quillmend-check.exe") -and
    -not (Test-Path -LiteralPath "$($_.FullName)\retired") } | Sort-Object { [version]($_.Name -replace '\+', '.') } |
    Select-Object -Last 1
if ($installed) { 'installed' }
exit 0
