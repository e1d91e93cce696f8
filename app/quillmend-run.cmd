@echo off
rem Quillmend for deployment engines: runs the cleanup unattended, then the
rem read-only check, and exits with the check's code (0: nothing left to do).
rem Argument, passed to the check: /registry for a SYSTEM or elevated run,
rem /user for a run in each user's context, none for both.
rem quillmend.exe is a GUI program: start /wait makes sure it has finished.
start "" /wait "%~dp0quillmend.exe" /S
"%~dp0quillmend-check.exe" %1
exit /b %ERRORLEVEL%
