# Detection for Intune and Configuration Manager: "installed" (text on standard
# output, exit code 0) exactly when the installed check finds no registry work
# left; otherwise nothing on standard output and exit code 0: "not installed".
$folder = ${env:ProgramFiles(x86)}; if (-not $folder) { $folder = $env:ProgramFiles }
$check = Join-Path $folder 'Quillmend\quillmend-check.exe'
if (Test-Path -LiteralPath $check -PathType Leaf) { & $check /registry | Out-Null; if ($LASTEXITCODE -eq 0) { 'installed' } }
exit 0
