// The folder trust decision alone, on a descriptor already read: apart from
// the call that reads it, so that it can be given any descriptor.
#pragma once

#include "platform/platform.h"

namespace platform {

// descriptor: self-relative, with owner and DACL; self: the running account's SID.
FolderTrust descriptorTrust(const void* descriptor, const void* self, FolderAcl use);

}  // namespace platform
