// The registrations' ladder, the rule of what a run keeps and deletes, and the cleaner's reconciliation.
#include "registration/extension_entries.h"

#include "platform/text.h"

const char* entryName(int rank) { return kEntryNames[rank]; }

// A value counts as present when it exists, however long its data: a long
// registration of the installed release must not be taken for absent, or an
// older one would be kept in its place.
bool entryPresent(platform::RegKey key, const char* name) {
    unsigned char data[platform::kMaxPath];
    unsigned long size = sizeof data;
    const platform::ValueRead read = platform::regQueryValue(key, name, data, &size);
    return read != platform::ValueRead::Failed;
}

int entryCeiling(const ProductRelease& release) {
    switch (release.releaseCode) {
        case 900:
            return kEntry90;
        case 810:
        case 811:
            return kEntry810;
        case 801:
            if (release.buildNumber >= 500) return kEntry810;
            if (release.buildNumber >= 426) return kEntry801;
            return kNoCeiling;
        default:
            return kNoCeiling;
    }
}

int findActiveEntry(platform::RegKey extensionsKey, const ProductRelease& release) {
    const int ceiling = entryCeiling(release);
    if (ceiling == kNoCeiling) return kNoCeiling;
    for (int rank = ceiling; rank < kEntryMarvil; ++rank) {
        if (entryPresent(extensionsKey, kEntryNames[rank])) return rank;
    }
    return kNoCeiling;
}

bool runDeletesEntry(int active, int rank) { return active != kNoCeiling && rank > active; }

void rewriteSetupExtension(platform::RegKey extensionsKey) {
    platform::regSetString(extensionsKey, kSetupExtensionValue, kSetupExtensionData,
                           text::length(kSetupExtensionData) + 1);
}

SetupExtension setupExtensionState(platform::RegKey extensionsKey) {
    unsigned char data[platform::kMaxPath];
    unsigned long size = sizeof data;
    unsigned long type = 0;
    const platform::ValueRead read = platform::regQueryValue(extensionsKey, kSetupExtensionValue, data, &size, &type);
    if (read == platform::ValueRead::Failed) return SetupExtension::Absent;
    // The size pins the terminating NUL to the end, so the texts compare whole.
    const bool current = read == platform::ValueRead::Fitted && type == platform::kRegSz &&
                         size == text::length(kSetupExtensionData) + 1 &&
                         text::equal(reinterpret_cast<const char*>(data), kSetupExtensionData);
    return current ? SetupExtension::Current : SetupExtension::OtherData;
}

Reconciliation reconcileExtensionEntries(const ProductRelease& release) {
    platform::RegKey key = nullptr;
    const platform::KeyOpen opened = platform::regOpenKeyForValues(kExtensionsKeyPath, &key);
    if (opened != platform::KeyOpen::Opened) {
        // A missing key has nothing to tidy; one that would not open still
        // holds whatever it held, and the result must not claim otherwise.
        return opened == platform::KeyOpen::Failed ? Reconciliation::KeyRefused : Reconciliation::NoneRemoved;
    }

    const int active = findActiveEntry(key, release);
    Reconciliation done = Reconciliation::NoneRemoved;
    // Every older entry is attempted, whatever became of the others.
    for (int rank = 0; rank < kEntryCount; ++rank) {
        if (runDeletesEntry(active, rank) && platform::regDeleteValue(key, kEntryNames[rank])) {
            done = Reconciliation::Removed;
        }
    }

    rewriteSetupExtension(key);
    platform::regCloseKey(key);
    return done;
}

platform::KeyOpen inspectExtensionEntries(const ProductRelease& release, EntriesInspection* inspection) {
    platform::RegKey key = nullptr;
    const platform::KeyOpen opened = platform::regOpenKeyForReading(kExtensionsKeyPath, &key);
    if (opened != platform::KeyOpen::Opened) return opened;

    inspection->active = findActiveEntry(key, release);
    for (int rank = 0; rank < kEntryCount; ++rank) {
        inspection->wouldDelete[rank] = runDeletesEntry(inspection->active, rank) && entryPresent(key, kEntryNames[rank]);
    }
    inspection->setupExtension = setupExtensionState(key);
    platform::regCloseKey(key);
    return opened;
}

bool registryWorkRemains(const EntriesInspection& inspection) {
    bool remains = false;
    for (const bool deletes : inspection.wouldDelete) remains |= deletes;
    return remains;
}

RegistrationsChange registrationsLastChanged(unsigned long long* time) {
    platform::RegKey key = nullptr;
    const platform::KeyOpen opened = platform::regOpenKeyForReading(kExtensionsKeyPath, &key);
    if (opened != platform::KeyOpen::Opened) {
        return opened == platform::KeyOpen::Missing ? RegistrationsChange::NoKey : RegistrationsChange::Unknown;
    }
    const bool read = platform::regKeyLastWrite(key, time);
    platform::regCloseKey(key);
    return read ? RegistrationsChange::Known : RegistrationsChange::Unknown;
}
