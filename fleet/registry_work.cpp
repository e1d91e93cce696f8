// The registry plan carried out: backup, deletions the backup covers, the setup value.
#include "fleet/registry_work.h"

#include "fleet/backup.h"
#include "fleet/run_log.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

bool sameRelease(const ProductRelease& a, const ProductRelease& b) {
    return a.releaseCode == b.releaseCode && a.buildNumber == b.buildNumber;
}

// Each saved registration that still holds what the backup holds, deleted.
void deleteSaved(platform::RegKey key, const SavedValues& saved) {
    for (int i = 0; i < saved.count; ++i) {
        const SavedValue& value = saved.values[i];
        if (!value.present || text::equal(value.name, kSetupExtensionValue)) continue;
        if (!stillSaved(key, value)) {
            say(kLogWarning, "kept: % (it changed after the backup; the next run looks again)", value.name);
        } else if (platform::regDeleteValue(key, value.name)) {
            say(kLogInfo, "deleted: %", value.name);
        } else {
            say(kLogWarning, "kept: % (deleting it failed)", value.name);
        }
    }
}

}  // namespace

bool carryOutRegistryPlan(const RegistryPlan& plan, const char* folder, unsigned long long now) {
    // Five values of up to 2 KiB: kept off the stack.
    static SavedValues saved{};
    platform::RegKey key = nullptr;
    if (platform::regOpenKeyForValues(kExtensionsKeyPath, &key) != platform::KeyOpen::Opened) {
        say(kLogError, "registry: the Extensions key cannot be opened to change it; the registry was not changed");
        return true;
    }
    char backup[platform::kMaxPath];
    const char* why = "a value is unreadable or too long";
    if (!saveValues(key, plan, &saved) || !writeBackup(folder, now, saved, backup, &why)) {
        platform::regCloseKey(key);
        say(kLogError, "backup: not written (%); the registry was not changed", why);
        return false;
    }
    say(kLogInfo, "backup: %", backup);
    ProductRelease release;
    if (inspectProduct(&release) != ProductState::Found || !sameRelease(release, plan.release)) {
        say(kLogWarning, "kept: every registration (the release changed after the backup; the next run takes them)");
    } else {
        deleteSaved(key, saved);
        rewriteSetupExtension(key);
        if (setupExtensionState(key) == SetupExtension::Current) say(kLogInfo, "written: %", kSetupExtensionValue);
    }
    platform::regCloseKey(key);
    pruneBackups(folder, backup);
    return true;
}
