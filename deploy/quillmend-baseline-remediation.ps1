# Configuration Manager baseline, remediation: runs the installed
# quillmend-run.exe /registry as SYSTEM. Configuration Manager counts a
# remediation as failed only when its script ends with an error, so a run
# that leaves work throws, naming the run's exit code; its lines are in the
# machine's log. The programs write the ANSI code page, read as such.
try { [Console]::OutputEncoding = [Text.Encoding]::Default } catch { }
$folder = ${env:ProgramFiles(x86)}; if (-not $folder) { $folder = $env:ProgramFiles }
$base = Join-Path $folder 'Quillmend'
# The installed release: the highest folder named by a version (3.0.0, 3.0.0+1) holding the check and
# no "retired" mark, as quillmend-run.exe /install leaves them; none when $null.
$installed = Get-ChildItem -LiteralPath $base -Directory -ErrorAction SilentlyContinue | Where-Object {
    $_.Name -match '^\d+\.\d+\.\d+(\+\d+)?$' -and (Test-Path -LiteralPath "$($_.FullName)\quillmend-check.exe") -and
    -not (Test-Path -LiteralPath "$($_.FullName)\retired") } | Sort-Object { [version]($_.Name -replace '\+', '.') } |
    Select-Object -Last 1
if (-not $installed) { throw "quillmend-run.exe is not installed under $base (the Quillmend application installs it)" }
& (Join-Path $installed.FullName 'quillmend-run.exe') /registry | Out-Null
if ($LASTEXITCODE -ne 0) { throw "quillmend-run.exe /registry exited $LASTEXITCODE (its log: Quillmend Logs\quillmend-run.log)" }
exit 0
