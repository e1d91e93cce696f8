@echo off
rem Quillmend for deployment engines: asks the read-only check what is left to
rem do and runs the cleanup only when something is, so a machine with nothing
rem to do is left exactly as it is. Prints the check's output and exits with
rem its code (0: nothing left to clean; 1, 2, 3: work remains; 4: cannot tell;
rem 5: bad argument; 6: a program is missing beside this script).
rem Argument, handed to the check: /registry for a SYSTEM or elevated run,
rem /user for a run in each user's context, none for both.
rem
rem Each run is recorded: what the check said before (with the time it looked),
rem whether quillmend.exe was started, what the check said after, and the exit
rem code. /user runs keep their log in the user's own %LOCALAPPDATA%\Quillmend;
rem all others in "Quillmend Logs" beside the program folder under Program
rem Files, which only the installer makes, where users can create nothing. Before
rem quillmend.exe changes the registry, the Extensions key of the 32-bit view is
rem exported beside that log. A log that cannot be written changes nothing else.
setlocal
set "here=%~dp0"
if not exist "%here%quillmend.exe" goto missing
if not exist "%here%quillmend-check.exe" goto missing
call :logfolder %1
call :check %1
if "%code%"=="1" goto clean
if "%code%"=="2" goto clean
if "%code%"=="3" goto clean
set "msg=quillmend-run.cmd: quillmend.exe not started (the check's exit code: %code%)"
call :note
call :finish
exit /b %code%

:clean
if not "%code%"=="2" call :backup
rem quillmend.exe is a GUI program: start /wait makes sure it has finished.
start "" /wait "%here%quillmend.exe" /S
set "msg=quillmend-run.cmd: started quillmend.exe /S"
call :record
call :check %1
call :finish
exit /b %code%

:logfolder
set "logs="
if /i "%~1"=="/user" goto userlogs
set "logs=%ProgramFiles(x86)%"
if "%logs%"=="" set "logs=%ProgramFiles%"
if "%logs%"=="" goto nolog
set "logs=%logs%\Quillmend Logs"
if not exist "%logs%\" goto nolog
goto openlog
:userlogs
if "%LOCALAPPDATA%"=="" goto nolog
set "logs=%LOCALAPPDATA%\Quillmend"
if not exist "%logs%\" mkdir "%logs%" >nul 2>&1
:openlog
set "log=%logs%\quillmend-run.log"
rem Rolled over at 1 MiB: this log and the one before it.
if exist "%log%" for %%f in ("%log%") do if %%~zf GEQ 1048576 move /y "%log%" "%log%.1" >nul 2>&1
type nul >>"%log%" 2>nul
if errorlevel 1 goto unwritable
type nul >"%logs%\last-check.txt" 2>nul
if errorlevel 1 goto unwritable
>>"%log%" echo ---- quillmend-run.cmd "%~1" on "%COMPUTERNAME%" as "%USERNAME%"
exit /b 0
:unwritable
echo quillmend-run.cmd: cannot write "%log%"; this run keeps no log.
set "logs="
exit /b 0
:nolog
echo quillmend-run.cmd: no log folder ("%logs%"); this run keeps no log.
set "logs="
exit /b 0

:check
if "%logs%"=="" goto checkunlogged
"%here%quillmend-check.exe" %1 >"%logs%\last-check.txt"
set "code=%ERRORLEVEL%"
rem A redirection that fails starts nothing and sets 1, which is not the check's word.
set "last="
for /f "usebackq delims=" %%l in ("%logs%\last-check.txt") do set "last=%%l"
if "%code%"=="1" if not defined last goto checkunlogged
type "%logs%\last-check.txt"
type "%logs%\last-check.txt" >>"%log%" 2>nul
exit /b 0
:checkunlogged
"%here%quillmend-check.exe" %1
set "code=%ERRORLEVEL%"
exit /b 0

:backup
rem The registrations as they are before the run, named by the check's time.
if "%logs%"=="" goto nobackup
set "stamp=unknown"
for /f "usebackq tokens=1,2" %%a in ("%logs%\last-check.txt") do if "%%a"=="checked:" set "stamp=%%b"
set "stamp=%stamp::=%"
set "backup=%logs%\extensions-%stamp%.reg"
reg export "HKLM\Software\Microsoft\Exchange\Client\Extensions" "%backup%" /reg:32 /y >nul 2>&1
if errorlevel 1 goto backupfailed
set "msg=quillmend-run.cmd: backup of the Extensions key: %backup%"
call :record
rem The last 20 backups are kept: the names sort by time, newest first here.
for /f "skip=20 delims=" %%f in ('dir /b /o-n "%logs%\extensions-*.reg" 2^>nul') do del /f /q "%logs%\%%f" >nul 2>&1
exit /b 0
:backupfailed
set "msg=quillmend-run.cmd: the backup of the Extensions key could not be written; cleaning all the same"
call :record
exit /b 0
:nobackup
echo quillmend-run.cmd: no backup of the Extensions key (this run keeps no log).
exit /b 0

:record
rem msg is a line for standard output and the log; :note, for the log alone.
rem (Kept out of an if: a path's parentheses must not end a command there.)
echo %msg%
:note
if "%logs%"=="" exit /b 0
>>"%log%" echo %msg%
exit /b 0

:finish
set "msg=quillmend-run.cmd: exit code %code%"
goto note

:missing
echo quillmend-run.cmd: quillmend.exe or quillmend-check.exe is missing from "%here%"; nothing was run.
exit /b 6
