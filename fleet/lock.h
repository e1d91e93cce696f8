// The lock that keeps two machine runs (or two runs of one user) apart: a
// file in the scope's log folder, opened so that nobody else can open it.
#pragma once

#include "platform/platform.h"

// How long a run waits for another to finish, and how often it looks.
constexpr unsigned kLockWaitMilliseconds = 60000;
constexpr unsigned kLockPollMilliseconds = 500;

enum class Lock {
    Taken,        // lock holds the open file: close it to let the next run in
    Held,         // another run held it past the wait
    Unavailable,  // it cannot be opened for another reason (said in one line)
};
Lock takeLock(const char* folder, platform::File* lock);
