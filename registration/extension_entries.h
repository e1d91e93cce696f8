// Keeps the installed release's mail-client registration and deletes the
// older ones beside it.
#pragma once

#include "platform/platform.h"
#include "registration/detect_product.h"

inline constexpr char kExtensionsKeyPath[] = "Software\\Microsoft\\Exchange\\Client\\Extensions";
inline constexpr char kSetupExtensionValue[] = "Outlook Setup Extension";
inline constexpr char kSetupExtensionData[] = "4.0;Outxxx.dll;7;000000000000000;0000000000;OutXXX";

// The registrations, newest first. Only the KestrinCorp entries can be kept;
// "Marvil", the earliest, is only ever deleted.
enum EntryRank { kEntry90 = 0, kEntry810 = 1, kEntry801 = 2, kEntryMarvil = 3, kEntryCount = 4 };
constexpr int kNoCeiling = -1;

// The value names, by rank.
inline constexpr const char* kEntryNames[kEntryCount] = {"KestrinCorp90", "KestrinCorp810", "KestrinCorp801", "Marvil"};
// The value name of a rank.
const char* entryName(int rank);

// The newest entry the release may own, or kNoCeiling.
int entryCeiling(const ProductRelease& release);

// The presence test: the value exists, whatever its type or length.
bool entryPresent(platform::RegKey extensionsKey, const char* name);

// The active entry: the first KestrinCorp entry present from the release's
// ceiling down ("Marvil" is never tested), or kNoCeiling. A run keeps it and
// deletes every entry ranked below it.
int findActiveEntry(platform::RegKey extensionsKey, const ProductRelease& release);

// The rule every run applies: with an active entry, every entry ranked below
// it is deleted, present or not; with none, nothing is.
bool runDeletesEntry(int active, int rank);

// What reconciliation did.
enum class Reconciliation {
    Removed,     // at least one deletion succeeded
    NoneRemoved,  // the key opened (or is missing) and no deletion succeeded
    KeyRefused,  // the key exists but would not open for changing: nothing in it was looked at or changed
};
// Opens the Extensions key, deletes every entry ranked below the newest one
// present from the ceiling down, and rewrites the setup extension value.
Reconciliation reconcileExtensionEntries(const ProductRelease& release);

// Writes "Outlook Setup Extension" into the open Extensions key.
void rewriteSetupExtension(platform::RegKey extensionsKey);

// What "Outlook Setup Extension" holds. It is Outlook's signal to reload its
// Exchange client extensions and rebuild Extend.dat, and Outlook deletes it
// once it has reloaded them where it has the right to: absent or different
// data is therefore no work left, only a fact worth showing.
enum class SetupExtension {
    Current,    // exactly what a run writes: REG_SZ, the data and its terminating NUL
    Absent,     // no such value (or none readable)
    OtherData,  // another type, length or text
};
SetupExtension setupExtensionState(platform::RegKey extensionsKey);

// What reconciliation would do, read through a handle that cannot change
// anything: which entry it keeps and which present entries it would delete.
struct EntriesInspection {
    int active;  // kNoCeiling when none
    bool wouldDelete[kEntryCount];
    SetupExtension setupExtension;
};
// Fills inspection only when the key opened for reading.
platform::KeyOpen inspectExtensionEntries(const ProductRelease& release, EntriesInspection* inspection);

// Registry work is left exactly when a registration a run deletes is still
// there; the setup value a run also writes is not work of its own.
bool registryWorkRemains(const EntriesInspection& inspection);

// When the mail client's registrations last changed: the Extensions key's
// last-write time, which every value set or deleted in it moves.
enum class RegistrationsChange {
    Known,    // the time was read
    NoKey,    // there is no Extensions key: no registrations
    Unknown,  // the key exists, but it or its time cannot be read
};
// Read through a handle that cannot change anything; time is set only when Known.
RegistrationsChange registrationsLastChanged(unsigned long long* time);
