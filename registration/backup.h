// The .reg backup a registry run writes before it changes anything: every
// value reconciliation will delete or overwrite, with its exact type and
// data, so that `reg import FILE` (with /reg:32 for the 32-bit program on
// 64-bit Windows) puts the key back as it was.
#pragma once

#include "registration/detect_product.h"

// Which values a backup holds with their data, present when it was written:
// the ladder's ranks, then the setup value. A value it names but was absent
// is saved as absent ("=-").
constexpr int kBackupSetupValue = 4;  // after the ladder's four ranks
struct BackupRecord {
    bool present[kBackupSetupValue + 1] = {};
};

// The longest value data a backup holds; a longer value cannot be backed up.
constexpr unsigned long kBackupValueBytes = 2048;

// Writes folder\extensions-<time>-<process id>.reg (name holds kMaxPath bytes
// and receives the full path) and flushes it. False when any value cannot be
// read exactly, or the file cannot be written whole: then no file is left
// and why holds a reason.
bool writeBackup(const char* folder, unsigned long long time, const ProductRelease& release, char* name,
                 BackupRecord* record, const char** why);

// Deletes the oldest backups in folder (by name, which begins with the time)
// until 20 are left; never the one named keep.
constexpr unsigned kBackupsKept = 20;
void pruneBackups(const char* folder, const char* keep);
