// The registry half as the check and the fleet run read it, changing nothing.
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
