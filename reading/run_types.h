// Types shared by the programs: a run's mode and outcome, and what the check's exit code says.
#pragma once

enum class RunMode { Interactive, Silent };

struct RunOutcome {
    bool productFound = false;
    bool entriesRemoved = false;
    // The Extensions key exists but would not open for changing (an unelevated
    // run, say): nothing in it was looked at or changed.
    bool extensionsKeyRefused = false;
};

// What an inspection finds left to do, as the bits of the check's exit code.
constexpr int kCheckRegistryRemains = 1;   // older registrations left to delete
constexpr int kCheckExtendDatRemains = 2;  // an Extend.dat older than the registrations' last change
constexpr int kCheckCannotTell = 4;        // a key, or its time, exists but cannot be read
// Beside the bits of what remains: an unknown argument, nothing checked.
constexpr int kCheckUsage = 5;
