# Detection of Quillmend (system) for Intune and Configuration Manager:
# "installed" (text on standard output, exit code 0) exactly when the installed
# programs are this release or a later one and the installed check finds no
# registry work left; otherwise nothing on standard output and exit code 0:
# "not installed", so that a newer release installs over an older one.
$release = [version]'3.0.0'  # this release; the build holds it to the VERSION file
$folder = ${env:ProgramFiles(x86)}; if (-not $folder) { $folder = $env:ProgramFiles }
$base = Join-Path $folder 'Quillmend'
# The installed release: the highest folder named by a version (3.0.0, 3.0.0+1) holding the check and
# no "retired" mark, as quillmend-run.exe /install leaves them; none when $null.
$installed = Get-ChildItem -LiteralPath $base -Directory -ErrorAction SilentlyContinue | Where-Object {
    $_.Name -match '^\d+\.\d+\.\d+(\+\d+)?$' -and (Test-Path -LiteralPath "$($_.FullName)\quillmend-check.exe") -and
    -not (Test-Path -LiteralPath "$($_.FullName)\retired") } | Sort-Object { [version]($_.Name -replace '\+', '.') } |
    Select-Object -Last 1
# The release from the folder's name, which no user can hold or make.
if ($installed -and [version]($installed.Name -replace '\+.*$', '') -ge $release) {
    & (Join-Path $installed.FullName 'quillmend-check.exe') /registry | Out-Null
    if ($LASTEXITCODE -eq 0) { 'installed' }
}
exit 0
