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

// One DACL entry as the decision reads it; the caller names its SID's kind,
// so that the decision itself needs no Windows call and the tests' machine
// decides its folders by it too.
struct TrustEntry {
    enum class Kind { Allow, Deny, Other } kind;
    bool inheritOnly;      // INHERIT_ONLY_ACE
    bool trustedSid;       // SYSTEM, Administrators, TrustedInstaller or the running account
    bool creatorOwnerSid;  // CREATOR OWNER, S-1-3-0
    unsigned long mask;
};
// The verdict so far (Trusted to start, with a trusted owner and a DACL)
// with one more entry read: Trusted or OthersMayOpen to read on.
FolderTrust entryTrust(FolderTrust sofar, const TrustEntry& entry, FolderAcl use);

}  // namespace platform
