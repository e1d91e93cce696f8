# Detection for Intune and Configuration Manager: "installed" (text on standard
# output, exit code 0) exactly when the installed check finds no stale Extend.dat
# left; otherwise nothing on standard output and exit code 0: "not installed".
$folder = ${env:ProgramFiles(x86)}; if (-not $folder) { $folder = $env:ProgramFiles }
$base = Join-Path $folder 'Quillmend'
# The installed release: the highest folder named by a version (3.0.0, 3.0.0+1) holding the check and
# no "retired" mark, as quillmend-run.exe /install leaves them; none when $null.
$installed = Get-ChildItem -LiteralPath $base -Directory -ErrorAction SilentlyContinue | Where-Object {
    $_.Name -match '^\d+\.\d+\.\d+(\+\d+)?$' -and (Test-Path -LiteralPath "$($_.FullName)\quillmend-check.exe") -and
    -not (Test-Path -LiteralPath "$($_.FullName)\retired") } | Sort-Object { [version]($_.Name -replace '\+', '.') } |
    Select-Object -Last 1
if ($installed) {
    & (Join-Path $installed.FullName 'quillmend-check.exe') /user | Out-Null
    if ($LASTEXITCODE -eq 0) { 'installed' }
}
exit 0
