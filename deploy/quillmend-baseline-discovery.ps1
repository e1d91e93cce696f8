# Configuration Manager configuration item, discovery: the installed check's
# exit code as the setting's one value (data type Integer), with /registry when
# the script runs as SYSTEM and /user when it runs with the logged-on user's
# credentials; 6 when the check is not installed, 10 when it cannot be started.
# It always prints a value. Compliant: the value equals 0. The remediation
# script is quillmend-remediation.ps1.
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
if (-not $installed) { 6; exit 0 }
$check = Join-Path $installed.FullName 'quillmend-check.exe'
$code = 10
try { & $check $scope | Out-Null; if ($null -ne $LASTEXITCODE) { $code = $LASTEXITCODE } } catch { }
$code
exit 0
