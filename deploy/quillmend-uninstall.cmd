@echo off
rem Removes what quillmend-install.cmd installed, and the folder when nothing
rem else is in it. Exit code 0 also when it was already gone.
setlocal
set "target=%ProgramFiles(x86)%"
if "%target%"=="" set "target=%ProgramFiles%"
if "%target%"=="" exit /b 0
set "target=%target%\Quillmend"
if not exist "%target%\" exit /b 0
for %%f in (quillmend.exe quillmend-check.exe quillmend-run.cmd) do del /f /q "%target%\%%f" >nul 2>&1
rd "%target%" >nul 2>&1
if not exist "%target%\" exit /b 0
echo quillmend-uninstall.cmd: "%target%" is still there (a file in use, or files of someone else's in it).
exit /b 1
