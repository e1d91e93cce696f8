// The registry plan made and carried out: backup, deletions the backup covers, the setup value.
#include "fleet/registry_work.h"

#include "fleet/logon_component.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "reading/run_types.h"

namespace {

bool sameRelease(const ProductRelease& a, const ProductRelease& b) {
    return a.releaseCode == b.releaseCode && a.buildNumber == b.buildNumber;
}

// Each saved registration that still holds what the backup holds, deleted.
void deleteSaved(RegistryWork* work, RunLog* log, platform::RegKey key) {
    const SavedValues& saved = work->saved;
    for (int i = 0; i < saved.count; ++i) {
        const SavedValue& value = saved.values[i];
        if (!value.present || text::equal(value.name, kSetupExtensionValue)) continue;
        if (!stillSaved(key, value, work->reread)) {
            logFact(log, kLogWarning, "kept: % (it changed after the backup; the next run looks again)", value.name);
        } else if (platform::regDeleteValue(key, value.name)) {
            logFact(log, kLogInfo, "deleted: %", value.name);
        } else {
            logFact(log, kLogWarning, "kept: % (deleting it failed)", value.name);
        }
    }
}

}  // namespace

bool planRegistryWork(const RegistryFindings& findings, RegistryPlan* plan) {
    *plan = RegistryPlan();
    if (findings.code != kCheckRegistryRemains) return false;
    plan->release = findings.release;
    for (int rank = 0; rank < kEntryCount; ++rank) plan->deletes[rank] = runDeletesEntry(findings.entries.active, rank);
    return true;
}

PlanOutcome carryOutRegistryPlan(RegistryWork* work, RunLog* log, const char* folder, unsigned long long now) {
    platform::RegKey key = nullptr;
    if (platform::regOpenKeyForValues(kExtensionsKeyPath, &key) != platform::KeyOpen::Opened) {
        logFact(log, kLogError, "registry: the Extensions key cannot be opened to change it; the registry was not changed");
        return PlanOutcome::KeyRefused;
    }
    char backup[platform::kMaxPath];
    const char* why = "a value is unreadable or too long";
    if (!saveValues(key, work->plan, &work->saved) ||
        !writeBackup(&work->backup, folder, now, work->saved, backup, &why)) {
        platform::regCloseKey(key);
        logFact(log, kLogError, "backup: not written (%); the registry was not changed", why);
        return PlanOutcome::NoBackup;
    }
    logFact(log, kLogInfo, "backup: %", backup);
    ProductRelease release;
    if (inspectProduct(&release) != ProductState::Found || !sameRelease(release, work->plan.release)) {
        logFact(log, kLogWarning,
                "kept: every registration (the release changed after the backup; the next run takes them)");
    } else {
        // Before the first deletion: a run ended between them costs each user one needless logon run, never a lost one.
        raiseLogonVersion(log, "each user's stale Extend.dat goes at their next logon");
        deleteSaved(work, log, key);
        rewriteSetupExtension(key);
        if (setupExtensionState(key) == SetupExtension::Current) logFact(log, kLogInfo, "written: %", kSetupExtensionValue);
    }
    platform::regCloseKey(key);
    pruneBackups(folder, backup);
    return PlanOutcome::CarriedOut;
}
