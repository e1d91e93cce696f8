// The run sequence: every stage once, in a fixed order.
#pragma once

#include "reading/run_types.h"

// Shows the one result message in interactive mode, nothing in silent mode.
void reportOutcome(RunMode mode, const RunOutcome& outcome);

// One whole run for the given argument string; returns the exit code (0).
int runQuillmend(const char* arguments);

// The process's whole life up to its exit code: guards the DLL search, then
// hands WinMain the argument string of the process command line.
int startQuillmend();

#if defined(__i386__)
#define QUILLMEND_WINAPI __stdcall
#else
#define QUILLMEND_WINAPI
#endif

// The Windows GUI entry point; returns the exit code.
extern "C" int QUILLMEND_WINAPI WinMain(void* instance, void* previousInstance, char* arguments, int showCommand);
