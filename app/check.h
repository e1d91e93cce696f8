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

#ifdef QUILLMEND_FLEET_RUN
// What quillmend-run.exe shares of the check.
// The argument, blanks around it ignored, spells word, letters in any case.
bool argumentIs(const char* arguments, const char* word);
// The check's lines for the scope (Both: both halves), dated now, and its verdict; returns its exit code.
int checkNow(CheckScope scope, unsigned long long now);
// Hears every line the check prints, before it goes to standard output;
// utf8: the line holds a path in UTF-8, else all of it is in the system code
// page; verdict: the exit code the line gives, -1 for every other line.
extern void (*checkLineHook)(const char* line, bool utf8, int verdict);
// The copies of Extend.dat the last user half found stale, in the order it printed them.
struct CopyInspection;
extern CopyInspection checkStaleCopies[];
extern int checkStaleCount;
#endif

// The process: guards the DLL search, then checks with the command line's arguments.
int startCheck();
