// The registry half's work under the lock: the plan decided from the
// reading, the plan's values saved in a backup first, then each deletion the
// backup covers, then the setup value.
#pragma once

#include "fleet/backup.h"
#include "fleet/run_log.h"
#include "reading/registry_findings.h"

// What a fleet run changes, decided once from the findings by
// reconciliation's own rule: the release it was decided for, the entries it
// deletes (present or not when it looked), and the setup value it writes.
struct RegistryPlan {
    ProductRelease release;
    bool deletes[kEntryCount] = {};
};
// False when the findings leave no registration to delete: then a run changes nothing.
bool planRegistryWork(const RegistryFindings& findings, RegistryPlan* plan);

// Everything the registry half's work holds: its plan, the values the backup
// saves, the backup's text, a value read again.
struct RegistryWork {
    RegistryPlan plan;
    SavedValues saved;
    BackupText backup;
    unsigned char reread[kBackupValueBytes];
};

enum class PlanOutcome {
    CarriedOut,  // backed up, then changed as far as the key still matched the backup
    KeyRefused,  // the Extensions key would not open for changing: nothing changed
    NoBackup,    // no backup could be written: nothing changed
};
// Carries work->plan out through one handle of the Extensions key. A value is
// deleted only while its type and data still equal what the backup holds, and
// nothing is deleted once the release differs from the plan's: what changed
// after the plan is left to the check after, and to the next run with its own
// backup. Says each step in log.
PlanOutcome carryOutRegistryPlan(RegistryWork* work, RunLog* log, const char* folder, unsigned long long now);
