// quillmend-check.exe: reads what a run reads, applies the same rules, and
// says what `quillmend.exe /S` would still do on this machine for this user.
// It changes nothing: keys are opened for reading values only, and no file,
// folder or value is written or deleted.
#pragma once

// Which half the exit code speaks for: the registry (a SYSTEM or elevated
// deployment) or this user's Extend.dat (a deployment in each user's context).
enum class CheckScope { Both, Registry, User, Invalid };
CheckScope parseCheckScope(const char* arguments);

// Exit codes: the two bits, and the codes for a check that could not tell.
constexpr int kCheckRegistryRemains = 1;  // older registrations or the setup value left to change
constexpr int kCheckExtendDatRemains = 2;  // an Extend.dat older than the registrations' last change
constexpr int kCheckCannotTell = 4;        // a key, or its time, exists but cannot be read
constexpr int kCheckUsage = 5;             // an unknown argument; nothing checked

// Prints one fact a line and the verdict; returns the exit code.
int runCheck(const char* arguments);

// The process: guards the DLL search, then checks with the command line's arguments.
int startCheck();
