// From the process command line to the run mode.
#pragma once

#include "app/run_types.h"

// The argument string WinMain is given: the command line without the program
// name and the blanks after it. Points into commandLine.
const char* argumentString(const char* commandLine);

// "/S" or "/s", exactly and as a whole, selects silent mode.
RunMode parseRunMode(const char* arguments);
