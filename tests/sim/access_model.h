// Windows' access decision for files and folders, on descriptors written in
// SDDL: accounts with their groups, the DACL's allow and deny entries with
// their inheritance flags, the owner's implicit rights, and the entries a new
// file or folder inherits. The simulated machine decides every standard
// user's move with it, and the Wine suite holds it to Wine's AccessCheck.
//
// Sources, all on Microsoft Learn: "How DACLs Control Access to an Object"
// (deny and allow entries in order, inherit-only entries skipped, the owner
// granted READ_CONTROL and WRITE_DAC), "ACE Inheritance Rules" and
// "Security Descriptor String Format", "ACE Strings", "SID Strings",
// "File Security and Access Rights" (the generic mapping for files).
#pragma once

#include <string>
#include <vector>

namespace sim {

constexpr unsigned char kAceObjectInherit = 0x1;
constexpr unsigned char kAceContainerInherit = 0x2;
constexpr unsigned char kAceNoPropagate = 0x4;
constexpr unsigned char kAceInheritOnly = 0x8;
constexpr unsigned char kAceInherited = 0x10;

// Rights for files and folders (winnt.h).
constexpr unsigned kReadData = 0x1;       // FILE_READ_DATA, FILE_LIST_DIRECTORY
constexpr unsigned kAddFile = 0x2;        // FILE_WRITE_DATA, FILE_ADD_FILE
constexpr unsigned kAddFolder = 0x4;      // FILE_APPEND_DATA, FILE_ADD_SUBDIRECTORY
constexpr unsigned kExecute = 0x20;       // FILE_EXECUTE, FILE_TRAVERSE
constexpr unsigned kDeleteChild = 0x40;   // FILE_DELETE_CHILD
constexpr unsigned kDelete = 0x10000;
constexpr unsigned kWriteDac = 0x40000;
constexpr unsigned kWriteOwner = 0x80000;
constexpr unsigned kMaximumAllowed = 0x02000000;
// What a handle needs for its share mode to count against others' opens:
// one that holds none of these (attributes only, say) holds nothing.
constexpr unsigned kHoldingRights = kReadData | kAddFile | kAddFolder | kExecute | kDelete;
// What lets an account change a folder or what it holds.
constexpr unsigned kChangingRights = kAddFile | kAddFolder | 0x10 | kDeleteChild | 0x100 | kDelete | kWriteDac | kWriteOwner;

struct Ace {
    bool allow = true;
    unsigned char flags = 0;
    unsigned mask = 0;
    std::string sid;  // always S-1-...
};

struct Descriptor {
    std::string owner;
    bool nullDacl = false;  // no DACL at all: everyone may do everything
    bool protectedDacl = false;
    std::vector<Ace> dacl;
};

// SDDL's owner, group and DACL; "NULL_DACL" gives an owner Administrators
// and no DACL. False when the text is not read whole.
bool parseSddl(const std::string& text, Descriptor* out);
// The same descriptor in SDDL, SIDs as S-1-... and rights in hex, with the
// group SYSTEM (AccessCheck refuses a descriptor without one); "NULL_DACL"
// for no DACL.
std::string toSddl(const Descriptor& descriptor);

struct Account {
    std::string name;
    std::string user;
    std::vector<std::string> groups;    // enabled
    std::vector<std::string> denyOnly;  // count for deny entries only
};

// SYSTEM, an elevated administrator, the same administrator unelevated (its
// Administrators group deny-only) and two standard users, each with its groups.
const std::vector<Account>& accounts();
const Account& account(const std::string& name);
extern const char* const kStandardUserSid;
extern const char* const kAdministratorSid;
extern const char* const kTrustedInstallerSid;

// AccessCheck for a file or folder: the rights granted, all of desired or 0;
// with kMaximumAllowed, every right the account has.
unsigned accessGranted(const Descriptor& descriptor, const Account& who, unsigned desired);

// The descriptor of a file or folder made in parent by creator without one
// of its own: parent's inheritable entries as the child inherits them.
Descriptor inheritedDescriptor(const Descriptor& parent, bool folder, const Account& creator);
// The child's descriptor after its parent's DACL changed: its own entries
// kept, the inherited ones inherited anew (a protected child keeps all),
// CREATOR OWNER becoming the child's owner.
Descriptor reinherited(const Descriptor& child, const Descriptor& parent, bool folder);

}  // namespace sim
