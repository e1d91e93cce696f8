#include "registration/extension_entries.h"

#include "platform/text.h"

namespace {

const char* const kEntryNames[kEntryCount] = {"KestrinCorp90", "KestrinCorp810", "KestrinCorp801", "Marvil"};

// A value counts as present when it exists, however long its data: a long
// registration of the installed release must not be taken for absent, or an
// older one would be kept in its place.
bool entryPresent(platform::RegKey key, const char* name) {
    unsigned char data[platform::kMaxPath];
    unsigned long size = sizeof data;
    const platform::ValueRead read = platform::regQueryValue(key, name, data, &size);
    return read != platform::ValueRead::Failed;
}

}  // namespace

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

void rewriteSetupExtension(platform::RegKey extensionsKey) {
    platform::regSetString(extensionsKey, kSetupExtensionValue, kSetupExtensionData,
                           text::length(kSetupExtensionData) + 1);
}

void reconcileExtensionEntries(const ProductRelease& release, RunOutcome* outcome) {
    platform::RegKey key = nullptr;
    const platform::KeyOpen opened = platform::regOpenKeyForValues(kExtensionsKeyPath, &key);
    if (opened != platform::KeyOpen::Opened) {
        // A missing key has nothing to tidy; one that would not open still
        // holds whatever it held, and the result must not claim otherwise.
        outcome->extensionsKeyLocked = opened == platform::KeyOpen::Failed;
        return;
    }

    const int ceiling = entryCeiling(release);
    if (ceiling != kNoCeiling) {
        int active = kNoCeiling;
        for (int rank = ceiling; rank < kEntryMarvil && active == kNoCeiling; ++rank) {
            if (entryPresent(key, kEntryNames[rank])) active = rank;
        }
        if (active != kNoCeiling) {
            // Every older entry is attempted, whatever became of the others.
            for (int rank = active + 1; rank < kEntryCount; ++rank) {
                if (platform::regDeleteValue(key, kEntryNames[rank])) outcome->entriesRemoved = true;
            }
        }
    }

    rewriteSetupExtension(key);
    platform::regCloseKey(key);
}
