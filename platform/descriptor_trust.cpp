#include "platform/descriptor_trust.h"

namespace platform {

namespace {
// FILE_ADD_FILE, FILE_ADD_SUBDIRECTORY, FILE_WRITE_EA, FILE_DELETE_CHILD,
// FILE_WRITE_ATTRIBUTES, DELETE, WRITE_DAC, WRITE_OWNER, GENERIC_ALL and
// GENERIC_WRITE: each lets its holder change what the folder holds or who may.
constexpr unsigned long kWrites = 0x2 | 0x4 | 0x10 | 0x40 | 0x100 | 0x10000 | 0x40000 | 0x80000 | 0x10000000 | 0x40000000;
}  // namespace

FolderTrust entryTrust(FolderTrust sofar, const TrustEntry& entry, FolderAcl use) {
    if (entry.kind == TrustEntry::Kind::Deny) return sofar;  // takes rights away only
    // An allowing entry of a kind not read here counts as letting others write.
    if (entry.kind == TrustEntry::Kind::Other) return FolderTrust::OthersMayWrite;
    // CREATOR OWNER, inherit-only: whoever may create something in the folder owns it; it lets nobody new in.
    if (entry.trustedSid || (entry.creatorOwnerSid && entry.inheritOnly) || entry.mask == 0) return sofar;
    if ((entry.mask & kWrites) != 0) return FolderTrust::OthersMayWrite;
    return use == FolderAcl::Logs ? FolderTrust::OthersMayOpen : sofar;
}

}  // namespace platform
