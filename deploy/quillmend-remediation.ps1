# Intune Remediations, remediation: runs the installed quillmend-run.cmd with
# the scope of the detection script (/registry as SYSTEM, /user with the
# logged-on user's credentials), which cleans only what the check reports and
# keeps the machine's log and backup. Prints its output with the check's last
# verdict line last, nothing on standard error, and exits 0 when nothing is
# left to clean, 1 otherwise.
$folder = ${env:ProgramFiles(x86)}; if (-not $folder) { $folder = $env:ProgramFiles }
$run = Join-Path $folder 'Quillmend\quillmend-run.cmd'
$scope = '/user'
if ([Security.Principal.WindowsIdentity]::GetCurrent().User.Value -eq 'S-1-5-18') { $scope = '/registry' }
if (-not (Test-Path -LiteralPath $run -PathType Leaf)) {
    "quillmend-run.cmd is not installed at $run (the Quillmend (system) app installs it)"
    exit 1
}
# Through cmd with call: given a quoted path with parentheses right after /c,
# cmd would strip its quotes; after call they stay, and so does the exit code.
$cmd = Join-Path $env:SystemRoot 'System32\cmd.exe'
$lines = @(& $cmd /d /c call $run $scope 2>&1 | ForEach-Object { "$_" })
$code = $LASTEXITCODE
$lines | Where-Object { $_ -notlike 'verdict: *' }
$lines | Where-Object { $_ -like 'verdict: *' } | Select-Object -Last 1
if ($code -eq 0) { exit 0 }
exit 1
