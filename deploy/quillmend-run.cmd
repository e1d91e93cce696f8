@echo off
rem Quillmend for deployment engines: asks the read-only check what is left to
rem do and runs the cleanup only when something is, so a machine with nothing
rem to do is left exactly as it is. Prints the check's output and exits with
rem its code (0: nothing left to do; 1, 2, 3: work remains; 4: cannot tell;
rem 5: bad argument; 6: a program is missing beside this script).
rem Argument, handed to the check: /registry for a SYSTEM or elevated run,
rem /user for a run in each user's context, none for both.
setlocal
set "here=%~dp0"
if not exist "%here%quillmend.exe" goto missing
if not exist "%here%quillmend-check.exe" goto missing
"%here%quillmend-check.exe" %1
set "code=%ERRORLEVEL%"
if "%code%"=="1" goto clean
if "%code%"=="2" goto clean
if "%code%"=="3" goto clean
exit /b %code%

:clean
rem quillmend.exe is a GUI program: start /wait makes sure it has finished.
start "" /wait "%here%quillmend.exe" /S
"%here%quillmend-check.exe" %1
exit /b %ERRORLEVEL%

:missing
echo quillmend-run.cmd: quillmend.exe or quillmend-check.exe is missing from "%here%"; nothing was run.
exit /b 6
