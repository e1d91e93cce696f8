// The lock that keeps two machine runs (or two runs of one user) apart: a
// file in the scope's log folder, opened so that nobody else can open it.
#pragma once

#include "fleet/run_log.h"
#include "platform/platform.h"

// How long a run waits for another to finish, and how often it looks.
// Configuration Manager ends a configuration item's script after 60 s by
// default (client setting "Script execution timeout", Microsoft Learn, "About
// client settings in Configuration Manager"): a run that waits gives up well
// before, so that it exits 9 instead of being ended as a time-out.
constexpr unsigned kLockWaitMilliseconds = 30000;
constexpr unsigned kLockPollMilliseconds = 500;
// A name no earlier release made: a user may hold a file of a log folder
// an earlier release left open to Users, from before this release made the
// folder SYSTEM's and Administrators' alone, but not this one.
constexpr const char* kLockFileName = "quillmend-run.lck";

enum class Lock {
    Taken,        // lock holds the open file: close it to let the next run in
    Held,         // another run held it past the wait
    Unavailable,  // it cannot be opened for another reason (said in one line)
};
// waitMilliseconds: how long to wait for it (0: one try, as at a logon, which must not wait).
Lock takeLock(RunLog* log, const char* folder, platform::File* lock, unsigned waitMilliseconds = kLockWaitMilliseconds);
