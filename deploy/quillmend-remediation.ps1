# Intune Remediations, remediation: runs the installed quillmend-run.exe with
# the scope of the detection script (/registry as SYSTEM, /user with the
# logged-on user's credentials); it cleans only what its check reports and
# keeps the machine's log and backup. Intune keeps a remediation's standard
# error, not its output: when work remains, the run's lines go to standard
# error, the check's last verdict line last. Exits 0 when nothing is left to
# clean, 1 otherwise. The programs write the ANSI code page, read as such.
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
    [Console]::Error.WriteLine("quillmend-run.exe is not installed under $base (the Quillmend (system) app installs it)")
    exit 1
}
$run = Join-Path $installed.FullName 'quillmend-run.exe'
$lines = @(& $run $scope 2>&1 | ForEach-Object { "$_" })
if ($LASTEXITCODE -eq 0) { exit 0 }
$lines | Where-Object { $_ -notlike 'verdict: *' } | ForEach-Object { [Console]::Error.WriteLine($_) }
$lines | Where-Object { $_ -like 'verdict: *' } | Select-Object -Last 1 | ForEach-Object { [Console]::Error.WriteLine($_) }
exit 1
