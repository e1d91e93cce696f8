// Keeps the installed release's mail-client registration and deletes the
// older ones beside it.
#pragma once

#include "app/run_types.h"
#include "platform/platform.h"
#include "registration/detect_product.h"

constexpr const char* kExtensionsKeyPath = "Software\\Microsoft\\Exchange\\Client\\Extensions";
constexpr const char* kSetupExtensionValue = "Outlook Setup Extension";
constexpr const char* kSetupExtensionData = "4.0;Outxxx.dll;7;000000000000000;0000000000;OutXXX";

// The registrations, newest first. Only the KestrinCorp entries can be kept;
// "Marvil", the earliest, is only ever deleted.
enum EntryRank { kEntry90 = 0, kEntry810 = 1, kEntry801 = 2, kEntryMarvil = 3, kEntryCount = 4 };
constexpr int kNoCeiling = -1;

// The newest entry the release may own, or kNoCeiling.
int entryCeiling(const ProductRelease& release);

// Opens the Extensions key, deletes every entry ranked below the newest one
// present from the ceiling down, and rewrites the setup extension value.
// Sets outcome->entriesRemoved when any deletion succeeds, and
// outcome->extensionsKeyLocked when the key exists but does not open.
void reconcileExtensionEntries(const ProductRelease& release, RunOutcome* outcome);

// Writes "Outlook Setup Extension" into the open Extensions key.
void rewriteSetupExtension(platform::RegKey extensionsKey);
