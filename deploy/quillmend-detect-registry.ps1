# Detection of Quillmend (system) for Intune and Configuration Manager:
# "installed" (text on standard output, exit code 0) exactly when the installed
# programs are this release or a later one and the installed check finds no
# registry work left; otherwise nothing on standard output and exit code 0:
# "not installed", so that a newer release installs over an older one.
$release = [version]'2.1.0'  # this release; the build holds it to the VERSION file
$folder = ${env:ProgramFiles(x86)}; if (-not $folder) { $folder = $env:ProgramFiles }
$check = Join-Path $folder 'Quillmend\quillmend-check.exe'
if (Test-Path -LiteralPath $check -PathType Leaf) {
    $info = (Get-Item -LiteralPath $check).VersionInfo
    $installed = New-Object System.Version $info.FileMajorPart, $info.FileMinorPart, $info.FileBuildPart
    if ($installed -ge $release) { & $check /registry | Out-Null; if ($LASTEXITCODE -eq 0) { 'installed' } }
}
exit 0
