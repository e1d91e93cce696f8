# Intune Remediations, remediation: runs the installed quillmend-run.exe with
# the scope of the detection script (/registry as SYSTEM, /user with the
# logged-on user's credentials); it cleans only what its check reports and
# keeps the machine's log and backup. Intune keeps a remediation's standard
# error, not its output: when work remains, the run's lines go to standard
# error, the check's last verdict line last. Exits 0 when nothing is left to
# clean, 1 otherwise. The programs write the ANSI code page, read as such.
try { [Console]::OutputEncoding = [Text.Encoding]::Default } catch { }
$folder = ${env:ProgramFiles(x86)}; if (-not $folder) { $folder = $env:ProgramFiles }
$run = Join-Path $folder 'Quillmend\quillmend-run.exe'
$scope = '/user'
if ([Security.Principal.WindowsIdentity]::GetCurrent().User.Value -eq 'S-1-5-18') { $scope = '/registry' }
if (-not (Test-Path -LiteralPath $run -PathType Leaf)) {
    [Console]::Error.WriteLine("quillmend-run.exe is not installed at $run (the Quillmend (system) app installs it)")
    exit 1
}
$lines = @(& $run $scope 2>&1 | ForEach-Object { "$_" })
if ($LASTEXITCODE -eq 0) { exit 0 }
$lines | Where-Object { $_ -notlike 'verdict: *' } | ForEach-Object { [Console]::Error.WriteLine($_) }
$lines | Where-Object { $_ -like 'verdict: *' } | Select-Object -Last 1 | ForEach-Object { [Console]::Error.WriteLine($_) }
exit 1
