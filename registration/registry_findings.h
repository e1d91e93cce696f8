// The registry half as the check and the fleet run read it, changing
// nothing, and the work a fleet run decides from it.
#pragma once

#include "platform/platform.h"
#include "registration/detect_product.h"
#include "registration/extension_entries.h"

// Plain data, every field set by inspectRegistry.
struct RegistryFindings {
    ProductState product;
    ProductRelease release;            // when the product is Found
    platform::KeyOpen extensionsKey;   // looked at only when it is
    EntriesInspection entries;         // when the key opened
    int code;  // 0, kCheckRegistryRemains or kCheckCannotTell
};
void inspectRegistry(RegistryFindings* findings);

// What a fleet run changes, decided once from the findings by
// reconciliation's own rule: the release it was decided for, the entries it
// deletes (present or not when it looked), and the setup value it writes.
struct RegistryPlan {
    ProductRelease release;
    bool deletes[kEntryCount] = {};
};
// False when the findings leave no registration to delete: then a run changes nothing.
bool planRegistryWork(const RegistryFindings& findings, RegistryPlan* plan);
