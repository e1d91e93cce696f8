// The folder trust decision alone, on a descriptor already read: apart from
// the call that reads it, so that it can be given any descriptor.
#pragma once

#include "platform/platform.h"

namespace platform {

// The descriptor createFolder gives a Programs folder, in SDDL. P: protected,
// nothing inherited from the parent; 0x1200a9: read and execute. A Logs
// folder's is the same without its last entry, Users'.
inline constexpr char kProgramsFolderSddl[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
constexpr unsigned lastEntryStart(const char* sddl, unsigned at = 0, unsigned found = 0) {
    return sddl[at] == '\0' ? found : lastEntryStart(sddl, at + 1, sddl[at] == '(' ? at : found);
}
// The Logs SDDL's length: the Programs one up to its last entry.
constexpr unsigned kLogsFolderSddlLength = lastEntryStart(kProgramsFolderSddl);
static_assert(kProgramsFolderSddl[kLogsFolderSddlLength] == '(' && kProgramsFolderSddl[kLogsFolderSddlLength - 1] == ')',
              "the Logs descriptor ends with an entry of its own");

// descriptor: self-relative, with owner and DACL; self: the running account's SID.
FolderTrust descriptorTrust(const void* descriptor, const void* self, FolderAcl use);

}  // namespace platform
