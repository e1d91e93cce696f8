// quillmend-run.exe: what the deployment engines run on every machine. It
// reads the machine once as the check does, cleans only what that reading
// reports, with a lock, a backup and a log, and exits 0 only when the check,
// after any change, says nothing is left to clean.
#pragma once

#include "fleet/install.h"
#include "fleet/registry_work.h"
#include "fleet/run_log.h"
#include "reading/machine_reading.h"

// Exit codes beyond the check's 0 to 5 and the install's 6 and 7.
constexpr int kRunNoBackup = 8;   // registry work found, but no backup could be written: nothing changed
constexpr int kRunLockHeld = 9;   // another run held the lock past the wait: nothing was done

// The order of kVerbs; Logon is quillmend-logon.exe's run, which no argument names.
enum class RunVerb { Both, Registry, User, Install, Uninstall, Rollback, Restore, Invalid, Logon };
RunVerb parseRunVerb(const char* arguments);

// Everything one run found, planned, logged and will report.
struct RunRecord {
    CheckFindings findings;  // the reading said last
    RunLog log;              // the log, and the half's Event Log record
    RegistryWork registry;   // the plan, its backup
    InstallWork install;     // each program's way into place
};

// One whole run for the argument string; returns the exit code.
int runFleet(const char* arguments, RunRecord* record);

// quillmend-logon.exe's run, at a logon: the user half without waiting for
// its lock; when work is left, the same program again at this user's next
// logon (RunOnce). Returns the check's user code: 0, 2 or 4.
int runLogon(RunRecord* record);
