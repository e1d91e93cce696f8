// The .reg backup a registry run writes before it changes anything: every
// value its plan deletes or overwrites, with its exact type and data, so that
// `reg import FILE` (with /reg:32 for the 32-bit program on 64-bit Windows)
// puts them back as they were.
#pragma once

#include "platform/platform.h"
#include "registration/registry_findings.h"

// The longest value data a backup holds; a longer value cannot be backed up.
constexpr unsigned long kBackupValueBytes = 2048;

// One value as the backup holds it: present with its type and data, or absent.
struct SavedValue {
    const char* name;
    bool present;
    unsigned long type;
    unsigned long size;
    unsigned char data[kBackupValueBytes];
};
// The plan's values: each entry it deletes, in ladder order, then the setup value.
struct SavedValues {
    SavedValue values[kEntryCount + 1];
    int count;
};

// Reads the plan's values through the handle the run changes the key with.
// False when one cannot be read exactly (denied, or longer than kBackupValueBytes).
bool saveValues(platform::RegKey key, const RegistryPlan& plan, SavedValues* saved);

// The value still holds what was saved: present, the same type and data.
bool stillSaved(platform::RegKey key, const SavedValue& value);

// Writes folder\extensions-<time>-<process id>.reg (name holds kMaxPath bytes
// and receives the full path): every saved value present, and the setup value
// as absent ("=-") when it was; written as .reg.partial, flushed, and only then
// renamed. False when the file cannot be written whole: then no file is left
// and why holds a reason.
bool writeBackup(const char* folder, unsigned long long time, const SavedValues& saved, char* name, const char** why);

// Deletes what runs ended midway left (.reg.partial), then the oldest backups
// in folder (by name, which begins with the time) until 20 are left; never
// the one named keep.
constexpr unsigned kBackupsKept = 20;
void pruneBackups(const char* folder, const char* keep);
