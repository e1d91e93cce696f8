// The registry half's work under the lock: the plan's values saved in a
// backup first, then each deletion the backup covers, then the setup value.
#pragma once

#include "registration/registry_findings.h"

// Carries the plan out through one handle of the Extensions key. A value is
// deleted only while its type and data still equal what the backup holds, and
// nothing is deleted once the release differs from the plan's: what changed
// after the plan is left to the check after, and to the next run with its own
// backup. False, with one line, when no backup could be written: then nothing
// changed.
bool carryOutRegistryPlan(const RegistryPlan& plan, const char* folder, unsigned long long now);
