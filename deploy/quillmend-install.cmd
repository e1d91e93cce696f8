@echo off
rem Installs Quillmend where only administrators can write, so that nothing is
rem later run as SYSTEM or elevated from a folder users can change, then runs
rem the registry half of the cleanup there. Run it as SYSTEM or elevated.
rem Exit code: the installed quillmend-run.cmd /registry's, or 7 when the
rem files could not be installed (nothing is then left installed).
setlocal
set "here=%~dp0"
set "target=%ProgramFiles(x86)%"
if "%target%"=="" set "target=%ProgramFiles%"
if "%target%"=="" goto nowhere
set "target=%target%\Quillmend"
set "files=quillmend.exe quillmend-check.exe quillmend-run.cmd"
set "failed="
if not exist "%target%\" mkdir "%target%" >nul 2>&1
for %%f in (%files%) do call :put %%f
if defined failed goto failed
call "%target%\quillmend-run.cmd" /registry
exit /b %ERRORLEVEL%

:put
rem One file, copied and compared: a copy that fails, or differs, fails the install.
copy /y /b "%here%%1" "%target%\%1" >nul 2>&1
if errorlevel 1 set "failed=1"
fc /b "%here%%1" "%target%\%1" >nul 2>&1
if errorlevel 1 set "failed=1"
exit /b 0

:failed
for %%f in (%files%) do del /f /q "%target%\%%f" >nul 2>&1
rd "%target%" >nul 2>&1
echo quillmend-install.cmd: could not copy the files into "%target%" (run it as SYSTEM or elevated, with quillmend.exe, quillmend-check.exe and quillmend-run.cmd beside it); nothing is installed.
exit /b 7

:nowhere
echo quillmend-install.cmd: no Program Files folder is set; nothing is installed.
exit /b 7
