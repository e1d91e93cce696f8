// The folder trust decision alone, on a descriptor already read: the Windows
// builds' folderTrust uses it, and the Wine suite runs it on descriptors
// written in SDDL.
#pragma once

#include "platform/platform.h"

namespace platform {

// descriptor: self-relative, with owner and DACL; self: the running account's SID.
FolderTrust descriptorTrust(const void* descriptor, const void* self, FolderAcl use);

}  // namespace platform
