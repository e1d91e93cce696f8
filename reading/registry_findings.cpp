// The registry half read once.
#include "reading/registry_findings.h"

#include "reading/run_types.h"

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
