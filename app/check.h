// quillmend-check.exe: reads what a run reads, applies the same rules, and
// says what `quillmend.exe /S` would still do on this machine for this user.
// It changes nothing.
#pragma once

// Prints the findings for the argument's scope; returns the exit code.
int runCheck(const char* arguments);

// The process: guards the DLL search, then checks with the command line's arguments.
int startCheck();
