// The registry half read once, and the plan a fleet run makes of it.
#include "registration/registry_findings.h"

void inspectRegistry(RegistryFindings* findings) {
    *findings = RegistryFindings();
    findings->extensionsKey = platform::KeyOpen::Missing;
    findings->entries.active = kNoCeiling;
    findings->product = inspectProduct(&findings->release);
    if (findings->product != ProductState::Found) {
        findings->code = findings->product == ProductState::Unreadable ? kCheckCannotTell : 0;
        return;
    }
    findings->extensionsKey = inspectExtensionEntries(findings->release, &findings->entries);
    if (findings->extensionsKey != platform::KeyOpen::Opened) {
        findings->code = findings->extensionsKey == platform::KeyOpen::Failed ? kCheckCannotTell : 0;
        return;
    }
    findings->code = registryWorkRemains(findings->entries) ? kCheckRegistryRemains : 0;
}

bool planRegistryWork(const RegistryFindings& findings, RegistryPlan* plan) {
    *plan = RegistryPlan();
    if (findings.code != kCheckRegistryRemains) return false;
    plan->release = findings.release;
    for (int rank = 0; rank < kEntryCount; ++rank) plan->deletes[rank] = entryDeleted(findings.entries.active, rank);
    return true;
}
