// Putting back what the registry half deleted: the newest backup imported
// into this program's view of the Extensions key, as `reg import` would.
#pragma once

#include "fleet/registry_work.h"
#include "fleet/run_log.h"

enum class Restore {
    Restored,      // every value of the backup is back
    NoBackup,      // none in the folder, or not one this program wrote: nothing changed
    PartlyFailed,  // a value could not be written (said): the others are back
};
// Reads the newest backup in folder whole (only the registrations and the
// setup value under the Extensions key, as the run writes them), then writes
// each value back; a registration the backup lists as absent is left alone.
// Says the backup it used and each value.
Restore restoreNewestBackup(RegistryWork* work, RunLog* log, const char* folder);
