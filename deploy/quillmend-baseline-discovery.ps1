# Configuration Manager configuration item, discovery: the installed check's
# exit code as the setting's one value (data type Integer), with /registry when
# the script runs as SYSTEM and /user when it runs with the logged-on user's
# credentials; 6 when the check is not installed, 10 when it cannot be started.
# It always prints a value. Compliant: the value equals 0. The remediation
# script is quillmend-remediation.ps1.
$folder = ${env:ProgramFiles(x86)}; if (-not $folder) { $folder = $env:ProgramFiles }
$check = Join-Path $folder 'Quillmend\quillmend-check.exe'
$scope = '/user'
if ([Security.Principal.WindowsIdentity]::GetCurrent().User.Value -eq 'S-1-5-18') { $scope = '/registry' }
if (-not (Test-Path -LiteralPath $check -PathType Leaf)) { 6; exit 0 }
$code = 10
try { & $check $scope | Out-Null; if ($null -ne $LASTEXITCODE) { $code = $LASTEXITCODE } } catch { }
$code
exit 0
