// The run sequence: every stage once, in a fixed order.
#pragma once

#include "app/run_types.h"

// Shows the one result message in interactive mode, nothing in silent mode.
void reportOutcome(RunMode mode, const RunOutcome& outcome);

// One whole run for the given argument string; returns the exit code (0).
int runQuillmend(const char* arguments);
