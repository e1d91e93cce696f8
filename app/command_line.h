// From the process command line to the run mode.
#pragma once

#include "app/run_types.h"

// The argument string WinMain is given: the command line without the program
// name and the blanks after it. Points into commandLine.
const char* argumentString(const char* commandLine);

// "/S" or "/s", exactly and as a whole, selects silent mode.
RunMode parseRunMode(const char* arguments);

// The check's and the fleet run's switches: the argument, blanks around it
// ignored ("/Registry >nul" hands over "/Registry "), spells word, letters in
// any case; "" matches no argument.
bool argumentIs(const char* arguments, const char* word);
