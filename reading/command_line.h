// The process start both programs share: the argument string, the switches
// it selects, and the DLL search guarded before anything else.
#pragma once

#include "reading/run_types.h"

// The argument string WinMain is given: the command line without the program
// name and the blanks after it. Points into commandLine.
const char* argumentString(const char* commandLine);

// "/S" or "/s", exactly and as a whole, selects silent mode.
RunMode parseRunMode(const char* arguments);

// The check's and the fleet run's switches: the argument, blanks around it
// ignored ("/Registry >nul" hands over "/Registry "), spells word, letters in
// any case; "" matches no argument.
bool argumentIs(const char* arguments, const char* word);

// Which half the check's exit code speaks for: the registry (a SYSTEM or
// elevated deployment) or this user's Extend.dat (a deployment in each
// user's context).
enum class CheckScope { Both, Registry, User, Invalid };
CheckScope parseCheckScope(const char* arguments);

// Before any other Windows operation: later DLL loads search System32 only,
// and never the current directory. Goes on where the system cannot restrict.
void guardDllSearch();
