@echo off
rem Installs Quillmend where only administrators can write, so that nothing is
rem later run as SYSTEM or elevated from a folder users can change, then runs
rem the registry half of the cleanup there. Run it as SYSTEM or elevated.
rem A newer release installed over an older one replaces its files.
rem Exit code: the installed quillmend-run.cmd /registry's, or 7 when the
rem files could not be installed (what it copied is removed again; a file in
rem use may stay).
setlocal
set "here=%~dp0"
set "base=%ProgramFiles(x86)%"
if "%base%"=="" set "base=%ProgramFiles%"
if "%base%"=="" goto nowhere
set "target=%base%\Quillmend"
set "files=quillmend.exe quillmend-check.exe quillmend-run.cmd"
set "failed="
if not exist "%target%\" mkdir "%target%" >nul 2>&1
for %%f in (%files%) do call :put %%f
if defined failed goto failed
call :logfolder
call "%target%\quillmend-run.cmd" /registry
exit /b %ERRORLEVEL%

:put
rem One file, copied and compared: a copy that fails, or differs, fails the install.
copy /y /b "%here%%1" "%target%\%1" >nul 2>&1
if errorlevel 1 set "failed=1"
fc /b "%here%%1" "%target%\%1" >nul 2>&1
if errorlevel 1 set "failed=1"
exit /b 0

:logfolder
rem The run script's log and backups, beside the program folder so that they
rem outlive an uninstall. Under Program Files no user can create it first or
rem put a link in its place; its ACL is still set here, not inherited: SYSTEM
rem and Administrators full control, Users read.
set "logs=%base%\Quillmend Logs"
if not exist "%logs%\" mkdir "%logs%" >nul 2>&1
if not exist "%logs%\" goto nologs
icacls "%logs%" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX >nul 2>&1
if not errorlevel 1 exit /b 0
echo quillmend-install.cmd: could not set the ACL of "%logs%"; it keeps the one Program Files passes down.
exit /b 0
:nologs
echo quillmend-install.cmd: could not make "%logs%"; runs keep no log.
exit /b 0

:failed
for %%f in (%files%) do del /f /q "%target%\%%f" >nul 2>&1
rd "%target%" >nul 2>&1
echo quillmend-install.cmd: could not copy the files into "%target%" (run it as SYSTEM or elevated, with quillmend.exe, quillmend-check.exe and quillmend-run.cmd beside it); the files it copied were removed again, a file in use may stay.
exit /b 7

:nowhere
echo quillmend-install.cmd: no Program Files folder is set; nothing is installed.
exit /b 7
